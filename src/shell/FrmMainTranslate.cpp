// SPDX-License-Identifier: GPL-3.0-or-later
// The translate command of the editor (Ctrl+T and the caption " 中英文翻译 ").
#include "shell/FrmMain.h"

#include "notes/TextMetrics.h"
#include "platform/HostResolver.h"
#include "shell/IniFile.h"
#include "tasks/FrmMessage.h"
#include "text/GbkCodec.h"
#include "translate/TranslateClient.h"
#include "widgets/TextBoxW.h"

namespace {
constexpr int kSimplifiedChinese = 0;
constexpr int kEnglish = 1;
} // namespace

QString FrmMain::translateHostSetting() const
{
    // Read at every translation, so an edit of Config.ini takes effect without a restart.
    return ReadIniValue(iniPath(), QStringLiteral("General"), QStringLiteral("TranslateHost"),
                        DefaultTranslateHost.toString());
}

void FrmMain::translateSelection()
{
    const QString host = translateHostSetting();
    const bool reachable = m_platform.resolver->resolves(TranslateHostName(host));
    if (!reachable) {
        showMessage(QStringLiteral("翻译功能异常"), QStringLiteral("网络连接异常，无法进行翻译。"));
        return;
    }
    if (Text1->selLength() == 0)
        return;
    const QString selected = Text1->selText();
    const QString trimmed = trimSpaces(selected);
    const int target = !trimmed.isEmpty() && isDoubleByteAnsi(trimmed.at(0)) ? kEnglish : kSimplifiedChinese;
    if (!m_translator)
        m_translator = std::make_unique<TranslateClient>();
    m_translator->setHost(host);
    m_translator->setTimeoutMs(m_translateTimeoutMs);
    const QString translated = m_translator->TranslateText(selected, target);
    // Whatever is selected when the answer arrives receives it.
    if (!translated.isEmpty())
        Text1->setSelText(translated);
}

void FrmMain::showMessage(const QString& title, const QString& message)
{
    FrmMessage::ShowMessage(this, m_platform.sound, m_platform.resourceFolder, title, message);
}
