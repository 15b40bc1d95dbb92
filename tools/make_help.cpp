// SPDX-License-Identifier: GPL-3.0-or-later
// Typesets the help document from its HTML source into an A4 PDF:
//   make_help <help.html> <output.pdf>
// Runs at build time under the offscreen platform; the CJK face is chosen explicitly because the
// default sans face of a minimal system has no Chinese glyphs.

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

#include <cstdio>

namespace {

QString pickChineseFamily()
{
    const QStringList preferred = {
        QStringLiteral("Noto Sans CJK SC"),   QStringLiteral("Noto Sans SC"),
        QStringLiteral("Source Han Sans SC"), QStringLiteral("WenQuanYi Micro Hei"),
        QStringLiteral("WenQuanYi Zen Hei"),  QStringLiteral("Droid Sans Fallback")};
    const QStringList installed = QFontDatabase::families();
    for (const QString& family : preferred) {
        if (installed.contains(family, Qt::CaseInsensitive))
            return family;
    }
    // Last resort: any face that claims to write Simplified Chinese.
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    return chinese.isEmpty() ? QString() : chinese.first();
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: make_help <help.html> <output.pdf>\n");
        return 2;
    }

    QFile source(args.at(1));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "make_help: cannot read %s\n", qPrintable(args.at(1)));
        return 1;
    }
    const QString html = QString::fromUtf8(source.readAll());

    const QString family = pickChineseFamily();
    if (family.isEmpty())
        std::fprintf(stderr, "make_help: warning: no Chinese font found, the text may not render\n");

    QTextDocument doc;
    QFont font;
    font.setFamilies({family, QStringLiteral("Noto Sans CJK SC"), QStringLiteral("sans-serif")});
    font.setPointSizeF(10.5);
    doc.setDefaultFont(font);
    doc.setDocumentMargin(0);
    doc.setHtml(html);

    QPdfWriter writer(args.at(2));
    writer.setTitle(QStringLiteral("Vemra便笺使用帮助"));
    writer.setCreator(QStringLiteral("VemraNotes"));
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(20, 18, 20, 18), QPageLayout::Millimeter));
    doc.print(&writer);

    if (!QFile::exists(args.at(2)) || QFileInfo(args.at(2)).size() == 0) {
        std::fprintf(stderr, "make_help: cannot write %s\n", qPrintable(args.at(2)));
        return 1;
    }
    return 0;
}
