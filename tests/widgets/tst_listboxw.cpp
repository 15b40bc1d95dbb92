// SPDX-License-Identifier: GPL-3.0-or-later
// The list box as it is drawn: which entry looks selected, and how entries are shown.
#include "widgets/ListBoxW.h"

#include "widgets/Controls.h"

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
    void changedEntryRepaintsWhatLooksDifferent_data();
    void changedEntryRepaintsWhatLooksDifferent();

private:
    /// The row as the window system was last given it, not drawn anew.
    QImage shownRow(int index)
    {
        const QRect r = m_list->visualRect(m_list->model()->index(index, 0))
                            .translated(m_list->viewport()->mapTo(m_window.get(), QPoint()));
        return m_window->screen()
            ->grabWindow(m_window->winId(), r.x(), r.y(), r.width(), r.height())
            .toImage();
    }

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

void TestListBoxW::changedEntryRepaintsWhatLooksDifferent_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<bool>("partly");    // only a part of the row is drawn again
    QTest::addColumn<QString>("family"); // the list's font as the window gives it; the default when empty
    QTest::newRow("countdown second")
        << QStringLiteral("【-00:10:00】泡面") << QStringLiteral("【-00:09:59】泡面") << true << QString();
    QTest::newRow("countdown hour") << QStringLiteral("【-01:00:00】t") << QStringLiteral("【-00:59:59】t")
                                    << true << QString();
    QTest::newRow("fell due") << QStringLiteral("【-00:00:01】t") << QStringLiteral("【已完成】t") << false
                              << QString();
    QTest::newRow("title grows") << QStringLiteral("购物") << QStringLiteral("购物清单") << false
                                 << QString();
    QTest::newRow("letters") << QStringLiteral("AVA 1") << QStringLiteral("AVA 2") << true << QString();
    QTest::newRow("elided end") << QStringLiteral("【-00:10:00】") + QString(80, u'长')
                                << QStringLiteral("【-00:09:59】") + QString(80, u'长') << true << QString();
    QTest::newRow("right to left") << QStringLiteral("שלום 1") << QStringLiteral("שלום 2") << false
                                   << QString();
    // The to-do page's own face, which holds the brackets too (the default one leaves them to another
    // font): the digits stand where that face's advances and line put them.
    QTest::newRow("countdown second, window's face")
        << QStringLiteral("【-03:42:30】t1") << QStringLiteral("【-03:42:29】t1") << true
        << QStringLiteral("微软雅黑");
    QTest::newRow("countdown minute, window's face")
        << QStringLiteral("【-03:43:00】泡面") << QStringLiteral("【-03:42:59】泡面") << true
        << QStringLiteral("微软雅黑");
}

void TestListBoxW::changedEntryRepaintsWhatLooksDifferent()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(bool, partly);
    QFETCH(QString, family);
    if (!family.isEmpty())
        m_list->setFont(Controls::font(family, 10.5));
    m_list->setList(1, before);
    QTest::qWait(20);
    struct Recorder : QObject
    {
        QRegion painted;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                painted |= static_cast<QPaintEvent*>(event)->region();
            return false;
        }
    } recorder;
    m_list->viewport()->installEventFilter(&recorder);
    m_list->setList(1, after);
    QTRY_VERIFY(!recorder.painted.isEmpty());
    const QRect rowRect = m_list->visualRect(m_list->model()->index(1, 0));
    QVERIFY(rowRect.contains(recorder.painted.boundingRect()));
    QCOMPARE(recorder.painted.boundingRect().width() < rowRect.width(), partly);
    // What the window shows is what drawing the whole row shows.
    const QImage shown = shownRow(1);
    m_list->viewport()->repaint();
    QCOMPARE(shown, shownRow(1));
    QCOMPARE(m_list->List(1), after);
}

QTEST_MAIN(TestListBoxW)
#include "tst_listboxw.moc"
