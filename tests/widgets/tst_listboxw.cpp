// The list box as it is drawn: which entry looks selected.
#include "widgets/ListBoxW.h"

#include <QApplication>
#include <QtTest>

class TestListBoxW : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void currentEntryWithoutSelectionLooksLikeTheOthers();
    void selectedEntryStillShowsItsSelection();

private:
    QImage row(int index)
    {
        return m_list->viewport()->grab(m_list->visualRect(m_list->model()->index(index, 0))).toImage();
    }

    std::unique_ptr<QWidget> m_window;
    ListBoxW* m_list = nullptr;
};

void TestListBoxW::init()
{
    m_window = std::make_unique<QWidget>();
    m_window->resize(280, 300);
    m_list = new ListBoxW(m_window.get());
    m_list->setGeometry(0, 40, 280, 260);
    // The same title twice, so two rows can be compared pixel by pixel.
    m_list->AddItems({QStringLiteral("#无内容#"), QStringLiteral("#无内容#"), QStringLiteral("购物清单")});
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void TestListBoxW::cleanup()
{
    m_window.reset();
    m_list = nullptr;
}

void TestListBoxW::currentEntryWithoutSelectionLooksLikeTheOthers()
{
    // The panel opens with the list focused: the view makes entry 0 current but selects nothing.
    m_list->setFocus();
    QTRY_VERIFY(m_list->hasFocus());
    QCOMPARE(m_list->currentIndex().row(), 0);
    QCOMPARE(m_list->ListIndex(), -1);
    QCOMPARE(row(0), row(1));
}

void TestListBoxW::selectedEntryStillShowsItsSelection()
{
    m_list->setFocus();
    QTRY_VERIFY(m_list->hasFocus());
    m_list->setListIndex(0);
    QCOMPARE(m_list->ListIndex(), 0);
    QVERIFY(row(0) != row(1));
    m_list->setListIndex(1);
    QVERIFY(row(0) != row(1));
    QCOMPARE(m_list->ListIndex(), 1);
}

QTEST_MAIN(TestListBoxW)
#include "tst_listboxw.moc"
