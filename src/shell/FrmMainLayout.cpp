// SPDX-License-Identifier: GPL-3.0-or-later
// Controls of the main window, their one-time layout and their wiring.
#include "shell/FrmMain.h"

#include "tasks/TodoPage.h"
#include "widgets/ClickLabel.h"
#include "widgets/Controls.h"
#include "widgets/HoverTags.h"
#include "widgets/ImageButton.h"
#include "widgets/InkLabel.h"
#include "widgets/ListBoxW.h"
#include "widgets/Palette.h"
#include "widgets/SButton.h"
#include "widgets/SSwitch.h"
#include "widgets/Surface.h"
#include "widgets/TextBoxW.h"
#include "widgets/Twips.h"

#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>

namespace {

using Twips::px;
using Twips::tw;

// The note list and the settings panel open under the title row, in twips.
constexpr int kNoteListTop = 360;

ImageButton* imageButton(QWidget* parent, const QString& name, int picture, const QString& tag, int sizeTwips,
                         const QString& tip = QString())
{
    auto* button = new ImageButton(parent);
    button->setObjectName(name);
    button->setPicture(picture);
    button->setTag(tag);
    button->setFixedSize(px(sizeTwips), px(sizeTwips));
    button->setToolTip(tip);
    button->setAutoFillBackground(false);
    return button;
}

} // namespace

void FrmMain::createControls()
{
    const QFont heiti = Controls::font(QStringLiteral("黑体"), 12);

    Label1 =
        Controls::label(this, QStringLiteral("Label1"), QStringLiteral("Vemra便笺"), Palette::grey, heiti);
    Label1->setFixedSize(px(2400), px(270));

    // The tooltips name the keys that do what the buttons do.
    Picture1 = imageButton(this, QStringLiteral("Picture1"), 1, QStringLiteral("0"), 270,
                           QStringLiteral("便笺列表(Ctrl+F)"));
    Picture5 = imageButton(this, QStringLiteral("Picture5"), 3, QStringLiteral("00"), 270,
                           QStringLiteral("记事(Ctrl+1)"));
    Picture4 = imageButton(this, QStringLiteral("Picture4"), 7, QStringLiteral("00"), 270,
                           QStringLiteral("选项(Ctrl+,)"));
    Picture3 = imageButton(this, QStringLiteral("Picture3"), 11, QStringLiteral("0"), 270);
    Picture3->setAccessibleName(QStringLiteral("最小化"));
    Picture2 = imageButton(this, QStringLiteral("Picture2"), 15, QStringLiteral("0"), 270);
    Picture2->setAccessibleName(QStringLiteral("关闭"));

    for (int i = 0; i < 2; ++i) {
        Picture6[i] = new Surface(this, Qt::white);
        Picture6[i]->setObjectName(QStringLiteral("Picture6_%1").arg(i));
    }
    Picture6[1]->hide();
    Picture6[1]->setFixedSize(px(6870), px(8535));
    TodoPage::Hooks hooks;
    hooks.commitAndSave = [this] {
        CommitEditor();
        SaveSettingsAndNotes();
    };
    hooks.closeSettingsIfOpen = [this] {
        if (settingsPanelOpen())
            Picture4_Click();
    };
    m_todo = new TodoPage(Picture6[1], m_platform, std::move(hooks));

    Text1 = new TextBoxW(Picture6[0]);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("便笺内容"));
    Text1->setFont(Controls::font(QStringLiteral("黑体"), 11.25));
    Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    Text1->setOwnWheelZoom(false);
    // While the note list covers it the editor is disabled, but it stays a white page.
    QPalette editorPalette = Text1->palette();
    editorPalette.setColor(QPalette::Disabled, QPalette::Base, Qt::white);
    Text1->setPalette(editorPalette);
}

void FrmMain::InitialLayout()
{
    const double W = tw(width());
    const double H = tw(height());
    auto left = [](QWidget* w) { return tw(w->x()); };
    auto top = [](QWidget* w) { return tw(w->y()); };
    auto wid = [](QWidget* w) { return tw(w->width()); };
    auto hei = [](QWidget* w) { return tw(w->height()); };

    // 1. Note-list button and title.
    Picture1->move(px(60), px(60));
    Label1->move(px(left(Picture1) + wid(Picture1) + 60), px(60));
    // 2. Close, minimize, settings and page buttons from the right edge leftwards.
    Picture2->move(px(W - wid(Picture2) - 30), px(60));
    Picture3->move(px(left(Picture2) - 60 - wid(Picture3)), px(60));
    Picture4->move(px(left(Picture3) - 60 - wid(Picture4)), px(60));
    Picture5->move(px(left(Picture4) - 60 - wid(Picture5)), px(60));
    // 4. Both pages share the area below the title row.
    for (Surface* page : Picture6)
        page->setGeometry(0, px(top(Picture1) + hei(Picture1) + 60), px(W), px(H - hei(Picture1) - 120));
    // 5. Editor.
    Text1->move(px(30), 0);
    Text1->setFixedSize(px(wid(Picture6[0]) - 30), px(hei(Picture6[0])));
}

void FrmMain::wireEvents()
{
    connect(Picture1, &ImageButton::clicked, this, &FrmMain::Picture1_Click);
    connect(Picture1, &ImageButton::mouseMoved, this, &FrmMain::picture1Move);
    connect(Picture2, &ImageButton::clicked, this, &FrmMain::Picture2_Click);
    connect(Picture2, &ImageButton::mouseMoved, this, [this] { HoverTags::hover(Picture2, 16); });
    connect(Picture3, &ImageButton::clicked, this, &FrmMain::Picture3_Click);
    connect(Picture3, &ImageButton::mouseMoved, this, [this] { HoverTags::hover(Picture3, 12); });
    connect(Picture4, &ImageButton::clicked, this, &FrmMain::Picture4_Click);
    connect(Picture4, &ImageButton::mouseMoved, this, [this] { HoverTags::hoverTwoState(Picture4, 8, 10); });
    connect(Picture5, &ImageButton::mouseDown, this, &FrmMain::Picture5_MouseDown);
    connect(Picture5, &ImageButton::mouseMoved, this, [this] { HoverTags::hoverTwoState(Picture5, 4, 6); });

    Label1->installEventFilter(this);
    for (ImageButton* button : {Picture1, Picture2, Picture3, Picture4, Picture5})
        connect(button, &ImageButton::pressedWithoutPointer, this, &FrmMain::settleTitlePictures);
    createShortcuts();
    chainTabOrder();

    connect(m_notes.get(), &NoteStore::undoableChanged, this, &FrmMain::offerUndo);
    connect(Text1, &TextBoxW::Change, this, &FrmMain::editorChanged);
    connect(Text1, &TextBoxW::GotFocus, this, &FrmMain::editorGotFocus);
    connect(Text1, &TextBoxW::MouseMove, this, [this] { m_pointerOverEditor = true; });
    connect(Text1, &TextBoxW::KeyDown, this, &FrmMain::EditorKeyDown);
    connect(Text1, &TextBoxW::KeyUp, this, &FrmMain::EditorKeyUp);
    connect(Text1, &TextBoxW::MouseDown, this,
            [this](int button, int shift, int, int) { EditorMouseDown(button, shift); });
}

// The panels are built the first time they open: at start they are hidden, and measuring their captions
// would load glyphs no one sees yet.

void FrmMain::ensureQuickPanel()
{
    if (Picture15)
        return;
    const double pageWidth = tw(Picture6[0]->width());
    const double pageHeight = tw(Picture6[0]->height());
    Picture15 = new Surface(Picture6[0], Palette::panel);
    Picture15->setObjectName(QStringLiteral("Picture15"));
    Picture15->setAccessibleName(QStringLiteral("快捷功能"));
    Picture15->setFixedHeight(px(2175));
    Picture15->hide();
    Label10 = Controls::label(Picture15, QStringLiteral("Label10"), QStringLiteral("快捷功能"), Palette::grey,
                              Controls::font(QStringLiteral("黑体"), 10.5));
    Label10->move(px(240), px(180));
    Picture16 = imageButton(Picture15, QStringLiteral("Picture16"), 15, QStringLiteral("0"), 240);
    Picture16->setAccessibleName(QStringLiteral("关闭快捷功能"));
    const QStringList captions = {QStringLiteral(" 中英文翻译 "), QStringLiteral(" 表达式计算 "),
                                  QStringLiteral("添加日期"), QStringLiteral("打开路径")};
    const QStringList glyphs = {QStringLiteral("译"), QStringLiteral("算"), QStringLiteral("日"),
                                QStringLiteral("开")};
    for (int i = 0; i < 4; ++i) {
        const int left = 600 + (i % 2) * 3300;
        const int top = 720 + (i / 2) * 660;
        QLabel* glyph = Controls::label(Picture15, QStringLiteral("Picture17_%1").arg(i), glyphs[i],
                                        Qt::white, Controls::font(QStringLiteral("黑体"), 10.5));
        glyph->setAlignment(Qt::AlignCenter);
        glyph->setAutoFillBackground(true);
        QPalette gp = glyph->palette();
        gp.setColor(QPalette::Window, Palette::grey);
        glyph->setPalette(gp);
        glyph->setFixedSize(px(360), px(360));
        glyph->move(px(left), px(top));
        glyph->setAttribute(Qt::WA_TransparentForMouseEvents);
        Label11[i] = new ClickLabel(captions[i], Picture15);
        Label11[i]->setObjectName(QStringLiteral("Label11_%1").arg(i));
        Label11[i]->setFont(Controls::font(QStringLiteral("黑体"), 10.5));
        Label11[i]->setColors(Palette::panel, Palette::darkGrey);
        Label11[i]->adjustSize();
        Label11[i]->move(px(left + 480), px(top) + (px(360) - Label11[i]->height()) / 2);
    }

    Picture15->setFixedWidth(px(pageWidth));
    Picture15->move(0, px(pageHeight - tw(Picture15->height())));
    Picture16->move(px(pageWidth - tw(Picture16->width()) - 120), px(120));

    connect(Picture16, &ImageButton::clicked, this, &FrmMain::Picture16_Click);
    connect(Picture16, &ImageButton::mouseMoved, this, [this] { HoverTags::hover(Picture16, 17); });
    connect(Picture15, &Surface::bareMouseMove, this, [this] { HoverTags::reset(Picture16, 15); });
    for (int i = 0; i < 4; ++i)
        connect(Label11[i], &ClickLabel::clicked, this, [this, i] { Label11_Click(i); });
    chainTabOrder();
}

void FrmMain::ensureNoteList()
{
    if (Picture7)
        return;
    const QFont noteFont = Controls::font(QStringLiteral("微软雅黑"), 10.5);
    Picture7 = new Surface(this, Palette::panel);
    Picture7->setObjectName(QStringLiteral("Picture7"));
    Picture7->setAccessibleName(QStringLiteral("便笺列表面板"));
    Picture7->setFixedSize(px(4335), px(6435));
    Picture7->hide();
    Text2 = new TextBoxW(Picture7);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setAccessibleName(QStringLiteral("查找便笺"));
    Text2->setMultiLine(false);
    Text2->setGeometry(px(120), px(90), px(3015), px(300));
    Text2->setFont(Controls::font(QStringLiteral("微软雅黑"), 9));
    Text2->setTag(QStringLiteral("(在此快速查找便笺)"));
    Text2->setText(Text2->tag());
    Text2->setForeColor(QColor(128, 128, 128));
    // The panel's grey behind the box: a palette does it without the style-sheet engine.
    QPalette searchPalette = Text2->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        searchPalette.setColor(group, QPalette::Base, Palette::panel);
    Text2->setPalette(searchPalette);
    Line1 = Controls::underline(Text2, QStringLiteral("Line1"));
    // Built in the order they stand from the left, which is the order a screen reader reads them.
    // The tooltips say what each does; the names stay short.
    Picture8[2] = imageButton(Picture7, QStringLiteral("Picture8_2"), 13, QStringLiteral("0"), 270,
                              QStringLiteral("新增便笺(Ctrl+N)"));
    Picture8[1] = imageButton(Picture7, QStringLiteral("Picture8_1"), 11, QStringLiteral("0"), 270,
                              QStringLiteral("移除所选便笺(Ctrl+W)"));
    Picture8[0] = imageButton(Picture7, QStringLiteral("Picture8_0"), 15, QStringLiteral("0"), 270,
                              QStringLiteral("清空全部便笺(Ctrl+E)"));
    const QStringList buttonNames = {QStringLiteral("清空"), QStringLiteral("移除"), QStringLiteral("新增")};
    for (int i = 0; i < 3; ++i)
        Picture8[i]->setAccessibleName(buttonNames[i]);
    List1 = new ListBoxW(Picture7);
    List1->setObjectName(QStringLiteral("List1"));
    List1->setAccessibleName(QStringLiteral("便笺列表"));
    List1->setFixedHeight(px(5685));
    List1->setFont(noteFont);
    ListSearch = new ListBoxW(Picture7);
    ListSearch->setObjectName(QStringLiteral("ListSearch"));
    ListSearch->setAccessibleName(QStringLiteral("查找结果"));
    ListSearch->setFont(noteFont);
    ListSearch->hide();

    // Under the title row, the note list under the search box's line, the add, remove and clear
    // buttons from the right, the search hits exactly over the note list.
    Picture7->move(0, px(kNoteListTop));
    List1->move(0, px(480 + 60));
    List1->setFixedWidth(px(tw(Picture7->width()) - 30));
    Picture8[0]->move(px(tw(Picture7->width()) - 60 - tw(Picture8[0]->width())), px(120));
    Picture8[1]->move(px(tw(Picture8[0]->x()) - 60 - tw(Picture8[1]->width())), px(120));
    Picture8[2]->move(px(tw(Picture8[1]->x()) - 60 - tw(Picture8[2]->width())), px(120));
    Line1->setGeometry(Text2->x(), Text2->y() + Text2->height(), Text2->width(), 1);
    ListSearch->setGeometry(List1->geometry());
    ListSearch->setFixedSize(List1->size());
    // Over the pages; the settings panel stays above it.
    Picture7->raise();
    if (Picture9)
        Picture9->raise();

    connect(Picture8[0], &ImageButton::clicked, this, &FrmMain::ClearNotes);
    connect(Picture8[1], &ImageButton::clicked, this, &FrmMain::RemoveSelectedNote);
    connect(Picture8[2], &ImageButton::clicked, this, &FrmMain::AddNote);
    connect(Picture8[0], &ImageButton::mouseMoved, this, [this] { HoverTags::hover(Picture8[0], 17); });
    connect(Picture8[1], &ImageButton::mouseMoved, this, [this] { HoverTags::hover(Picture8[1], 12); });
    connect(Picture8[2], &ImageButton::mouseMoved, this, [this] { HoverTags::hover(Picture8[2], 14); });
    connect(Picture7, &Surface::bareMouseMove, this, &FrmMain::picture7Move);
    connect(List1, &ListBoxW::DblClick, this, &FrmMain::OpenSelectedNote);
    connect(List1, &ListBoxW::MouseMove, this, [this] { m_pointerOverEditor = false; });
    connect(ListSearch, &ListBoxW::DblClick, this, &FrmMain::OpenSearchHit);
    connect(List1, &ListBoxW::KeyDown, this, [this](int keyCode, int shift) {
        // Ctrl+Z: the bar's "撤销", from where the removal was made.
        if (keyCode == 'Z' && shift == 2)
            UndoRemoval();
        else
            noteListKey(keyCode);
    });
    connect(ListSearch, &ListBoxW::KeyDown, this, [this](int keyCode, int) {
        if (keyCode == 13 || keyCode == 32)
            OpenSearchHit();
    });
    connect(Text2, &TextBoxW::Change, this, &FrmMain::searchChanged);
    connect(Text2, &TextBoxW::GotFocus, this, &FrmMain::searchGotFocus);
    connect(Text2, &TextBoxW::LostFocus, this, &FrmMain::searchLostFocus);

    // From here on the list follows the store.
    List1->AddItems(m_notes->entries());
    connect(m_notes.get(), &NoteStore::entriesAdded, List1, &ListBoxW::AddItems);
    connect(m_notes.get(), &NoteStore::entryChanged, List1, &ListBoxW::setList);
    connect(m_notes.get(), &NoteStore::entryRemoved, List1, &ListBoxW::RemoveItem);
    chainTabOrder();
}

void FrmMain::ensureSettingsPanel()
{
    if (Picture9)
        return;
    Picture9 = new Surface(this, Palette::panel);
    Picture9->setObjectName(QStringLiteral("Picture9"));
    Picture9->setAccessibleName(QStringLiteral("选项"));
    // Six rows of 480 twips: three switches, then the three buttons.
    Picture9->setFixedSize(px(2775), px(2655 + 480));
    Picture9->hide();
    // Label names stay with their rows' controls; the third switch's row came last.
    const QList<QPair<int, QString>> rows = {
        {0, QStringLiteral("开机时启动")}, {1, QStringLiteral("断电保护")},
        {5, QStringLiteral("保留待办")},   {2, QStringLiteral("关于")},
        {3, QStringLiteral("帮助")},       {4, QStringLiteral("软件发布源")}};
    // Each row's label spans the height of the switch or button beside it and centres its glyphs
    // there, so both sit on the same rows of pixels.
    QList<QLabel*> rowLabels;
    for (int row = 0; row < rows.size(); ++row) {
        const QFont rowFont = Controls::font(QStringLiteral("微软雅黑"), 10.5);
        const int rowWidth = QFontMetrics(rowFont).horizontalAdvance(rows[row].second) + 2;
        rowLabels.append(Controls::caption(Picture9, QStringLiteral("Label3_%1").arg(rows[row].first),
                                           rows[row].second, Palette::darkGrey, rowFont,
                                           QRect(px(300), px(240 + 480 * row), rowWidth, px(255))));
    }
    SSwitch1 = new SSwitch(Picture9);
    SSwitch1->setObjectName(QStringLiteral("SSwitch1"));
    SSwitch2 = new SSwitch(Picture9);
    SSwitch2->setObjectName(QStringLiteral("SSwitch2"));
    SSwitch3 = new SSwitch(Picture9);
    SSwitch3->setObjectName(QStringLiteral("SSwitch3"));
    for (SSwitch* s : {SSwitch1, SSwitch2, SSwitch3}) {
        s->setFixedSize(px(615), px(255));
        s->setProperty("BackColorOn", quint32(0x808080));
    }
    SSwitch1->move(px(1800), px(240));
    SSwitch2->move(px(1800), px(720));
    SSwitch3->move(px(1800), px(1200));
    const QFont yahei9 = Controls::font(QStringLiteral("微软雅黑"), 9);
    SButton1 = Controls::flatButton(Picture9, QStringLiteral("SButton1"), QStringLiteral("···"),
                                    Controls::font(QStringLiteral("微软雅黑"), 10.5), 0xFFFFFF,
                                    Twips::rect(1800, 1680, 615, 255));
    SButton2 = Controls::flatButton(Picture9, QStringLiteral("SButton2"), QStringLiteral("···"), yahei9,
                                    0xFFFFFF, Twips::rect(1800, 2160, 615, 255));
    SButton7 = Controls::flatButton(Picture9, QStringLiteral("SButton7"), QStringLiteral("···"), yahei9,
                                    0xFFFFFF, Twips::rect(1800, 2640, 615, 255));
    SButton7->setProperty("Tag", releasePageUrl());
    SButton2->setToolTip(QStringLiteral("帮助(F1)"));
    // Each row's caption names the switch or button beside it, for a screen reader too.
    const QList<QWidget*> rowControls = {SSwitch1, SSwitch2, SSwitch3, SButton1, SButton2, SButton7};
    for (int row = 0; row < rowLabels.size(); ++row)
        rowLabels[row]->setBuddy(rowControls[row]);
    SSwitch1->setValue(m_autoRun);
    SSwitch2->setValue(m_autoSave);
    SSwitch3->setValue(m_keepTasks);
    // At the right edge, level with the note list, above everything else.
    Picture9->move(px(tw(width()) - tw(Picture9->width())), px(kNoteListTop));
    Picture9->raise();

    connect(SSwitch1, SIGNAL(Click()), this, SLOT(switch1Clicked()));
    connect(SSwitch2, SIGNAL(Click()), this, SLOT(switch2Clicked()));
    connect(SSwitch3, SIGNAL(Click()), this, SLOT(switch3Clicked()));
    connect(SButton1, SIGNAL(Click()), this, SLOT(showAbout()));
    connect(SButton2, SIGNAL(Click()), this, SLOT(openHelpDocument()));
    connect(SButton7, SIGNAL(Click()), this, SLOT(openReleasePage()));
    chainTabOrder();
}

void FrmMain::chainTabOrder()
{
    QList<QWidget*> order{Picture1};
    if (Picture7)
        order << Text2 << Picture8[2] << Picture8[1] << Picture8[0] << List1 << ListSearch;
    if (UndoBar)
        order << UndoButton;
    order << Picture5 << Picture4;
    if (Picture9)
        order << SSwitch1 << SSwitch2 << SSwitch3 << SButton1 << SButton2 << SButton7;
    order << Picture3 << Picture2 << Text1;
    if (Picture15)
        order << Label11[0] << Label11[1] << Label11[2] << Label11[3] << Picture16;
    order << m_todo->tabChain();
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}
