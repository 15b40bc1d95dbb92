// SPDX-License-Identifier: GPL-3.0-or-later
// The list box as it is drawn: which entry looks selected, and how entries are shown.
#include "widgets/ListBoxW.h"

#include <QApplication>
#include <QTextDocument>
#include <QtTest>

namespace {

// What a tooltip shows: Qt reads a text that looks like markup as markup.
QString tooltipShows(const QString& tip)
{
    if (!Qt::mightBeRichText(tip))
        return tip;
    QTextDocument document;
    document.setHtml(tip);
    return document.toPlainText();
}

} // namespace

class TestListBoxW : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void currentEntryWithoutSelectionLooksLikeTheOthers();
    void selectedEntryStillShowsItsSelection();
    void tooltipShowsTheEntryAsTyped_data();
    void tooltipShowsTheEntryAsTyped();

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

void TestListBoxW::tooltipShowsTheEntryAsTyped_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("shown");
    QTest::newRow("bold tags") << QStringLiteral("【待完成】<b>x</b>")
                               << QStringLiteral("【待完成】<b>x</b>");
    QTest::newRow("tags first") << QStringLiteral("<b>x</b>") << QStringLiteral("<b>x</b>");
    QTest::newRow("entity") << QStringLiteral("&amp;") << QStringLiteral("&amp;");
    QTest::newRow("image") << QStringLiteral("<img src=x>") << QStringLiteral("<img src=x>");
    QTest::newRow("plain") << QStringLiteral("买菜 a < b") << QStringLiteral("买菜 a < b");
    QTest::newRow("spaces kept") << QStringLiteral("a   b") << QStringLiteral("a   b");
    QTest::newRow("line break folded") << QStringLiteral("a\r\nb") << QStringLiteral("a b");
}

void TestListBoxW::tooltipShowsTheEntryAsTyped()
{
    QFETCH(QString, entry);
    QFETCH(QString, shown);
    m_list->Clear();
    m_list->AddItem(entry);
    const QModelIndex index = m_list->model()->index(0, 0);
    QCOMPARE(index.data(Qt::DisplayRole).toString(), shown);
    QCOMPARE(tooltipShows(index.data(Qt::ToolTipRole).toString()), shown);
    // The entry itself keeps its text exactly.
    QCOMPARE(m_list->List(0), entry);
}

QTEST_MAIN(TestListBoxW)
#include "tst_listboxw.moc"
