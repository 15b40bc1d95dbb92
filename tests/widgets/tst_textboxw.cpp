// SPDX-License-Identifier: GPL-3.0-or-later
// The text box's CR LF text, kept from change to change, against the document it stands for; its hint.
#include "widgets/TextBoxW.h"

#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextCursor>
#include <QtTest>

class TestTextBoxW : public QObject
{
    Q_OBJECT
private slots:
    void keptTextFollowsEveryKindOfEdit();
    void hintShowsOnlyWhileEnabled();
};

namespace {

QString crLfOfDocument(const TextBoxW& box)
{
    QString s = box.document()->toPlainText();
    s.replace(u'\n', QStringLiteral("\r\n"));
    return s;
}

QString randomPiece(QRandomGenerator& random)
{
    // Letters, CJK, and each character the document turns into something else in its plain text;
    // a break inside a line now and then, as pasted from elsewhere.
    static const QChar alphabet[] = {u'a',      u'Z',      u'7',  u' ',  u'\u4e2d', u'\u6587',
                                     u'\u00a0', u'\u2029', u'\n', u'\r', u'\t'};
    QString piece;
    const int size = random.bounded(1, 12);
    for (int i = 0; i < size; ++i)
        piece += alphabet[random.bounded(int(std::size(alphabet)))];
    if (random.bounded(30) == 0)
        piece.insert(random.bounded(piece.size() + 1), QChar::LineSeparator);
    return piece;
}

// A text as a line of the test's output, breaks and spaces made visible.
QString shown(const QString& text)
{
    QString s;
    for (const QChar c : text)
        s += c.isPrint() && c != u' ' ? QString(c) : QStringLiteral("<%1>").arg(c.unicode(), 0, 16);
    return s;
}

} // namespace

void TestTextBoxW::keptTextFollowsEveryKindOfEdit()
{
    TextBoxW box;
    box.resize(300, 200);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.setFocus();
    box.setText(QStringLiteral("第一行\r\nsecond\r\n\r\nlast"));
    QCOMPARE(box.text(), crLfOfDocument(box));

    QRandomGenerator random(20261207);
    for (int step = 0; step < 3000; ++step) {
        const int length = box.document()->characterCount() - 1;
        QTextCursor c(box.document());
        const int a = random.bounded(length + 1);
        const int b = random.bounded(length + 1);
        const int kind = random.bounded(10);
        QString did;
        switch (kind) {
        case 0: // typed where the caret is
            c.setPosition(a);
            box.setTextCursor(c);
            QTest::keyClicks(&box, QStringLiteral("xy"));
            did = "typed";
            break;
        case 1: // Enter, Backspace and Delete at the caret
            c.setPosition(a);
            box.setTextCursor(c);
            QTest::keyClick(&box, random.bounded(2) ? Qt::Key_Backspace : Qt::Key_Delete);
            QTest::keyClick(&box, Qt::Key_Return);
            did = "keys";
            break;
        case 2: // a selection replaced by a piece of text
            c.setPosition(a);
            c.setPosition(b, QTextCursor::KeepAnchor);
            c.insertText(randomPiece(random));
            did = "replaced";
            break;
        case 3: // a selection removed
            c.setPosition(a);
            c.setPosition(b, QTextCursor::KeepAnchor);
            c.removeSelectedText();
            did = "removed";
            break;
        case 4: // several changes undone or redone as one
            c.beginEditBlock();
            c.setPosition(b);
            c.insertText(randomPiece(random));
            c.setPosition(qMin(a, b));
            c.insertBlock();
            c.endEditBlock();
            if (random.bounded(2))
                box.undo();
            did = "block";
            break;
        case 5:
            if (random.bounded(2))
                box.undo();
            else
                box.redo();
            did = "undo/redo";
            break;
        case 6: // the format of a stretch changes, not its characters
        {
            c.setPosition(a);
            c.setPosition(b, QTextCursor::KeepAnchor);
            QTextCharFormat format;
            format.setFontWeight(random.bounded(2) ? QFont::Bold : QFont::Normal);
            c.mergeCharFormat(format);
            did = "format";
            break;
        }
        case 7: // the whole text replaced, through each way in
            if (random.bounded(3) == 0)
                box.setText(randomPiece(random) + QStringLiteral("\r\n") + randomPiece(random));
            else if (random.bounded(2))
                box.setPlainText(randomPiece(random));
            else
                box.clear();
            did = "whole";
            break;
        case 8: // everything selected and typed over
            box.selectAll();
            QTest::keyClicks(&box, QStringLiteral("new"));
            did = "select all";
            break;
        default: // the box's own insertion, which turns every break into a line break
            c.setPosition(a);
            box.setTextCursor(c);
            box.setSelText(randomPiece(random));
            did = "setSelText";
            break;
        }
        const QString kept = box.text();
        if (kept != crLfOfDocument(box))
            QFAIL(qPrintable(QStringLiteral("step %1 (%2): %3 != %4")
                                 .arg(step)
                                 .arg(did, shown(kept), shown(crLfOfDocument(box)))));
    }
    // Taken twice with no change between, the text is one copy: it is kept, not built again.
    QTest::keyClicks(&box, QStringLiteral("end"));
    const QString first = box.text();
    QCOMPARE(box.text().constData(), first.constData());
}

void TestTextBoxW::hintShowsOnlyWhileEnabled()
{
    // The editor is given its hint after the first drawing, perhaps while the note list covers it.
    TextBoxW box;
    box.setEnabled(false);
    box.setHint(QStringLiteral("hint"));
    QCOMPARE(box.placeholderText(), QString());
    box.setEnabled(true);
    QCOMPARE(box.placeholderText(), QStringLiteral("hint"));
    box.setEnabled(false);
    QCOMPARE(box.placeholderText(), QString());
}

QTEST_MAIN(TestTextBoxW)
#include "tst_textboxw.moc"
