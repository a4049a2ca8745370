#include "gui/window_variant.h"

#include "controller/run_rules.h"

namespace flintcast::gui {

namespace {

bool VersionMarked(const config::ProjectConfig& c) { return c.projectType == 3 && c.versionMarker != 0; }

}  // namespace

WindowVariant VariantFor(const config::ProjectConfig& c) {
    WindowVariant v;
    const int p = c.projectType;
    const bool japaneseLanguage = c.language == config::Language::Japanese;
    v.title = c.caption;
    v.aboutLink = "About";
    v.warning = "Do not unplug USB during upgrading!";
    v.japaneseImages = p == 2 || p == 6 || p == 27 || p == 28 || p == 42 || VersionMarked(c) || japaneseLanguage;
    if (japaneseLanguage) {
        v.japaneseTexts = true;
        v.title = "Arvo ソフトウェアアップデートツール V1.0";
        v.aboutLink = "アップデートツールについて";
        v.warning = "ファームウェア更新中に取り外さないでください。";
    }
    if (p == 27 || p == 28) {
        v.branded = true;
        v.japaneseTexts = true;
        v.title = p == 28 ? "JDF Software Update Tool (Ver3.0.1)" : "Netmarrow Software Update Tool";
        v.aboutLink = "バージョン情報";
        v.warning = "アップデート中はUSBケーブルを抜かないでください。PCのサスペンドやシャットダウンも絶対にしないでください。";
        v.buttonTop = kBrandedButtonTop;
    }
    if (p == 2 || p == 6) {
        v.wizard = Wizard::Guide;
        v.wizardTitle = p == 2 ? "JDEアップデートツール V1.1" : "JDDアップデートツール V1.1";
        v.showsTitle = false;
    } else if (p == 19) {
        v.wizard = Wizard::Guide1;
        v.wizardTitle = "Mobile Upgrade Guide";
    } else if (p == 42 || VersionMarked(c)) {
        v.wizard = Wizard::Guide2;
        v.wizardTitle = controller::VariantToolTitle(p, c.versionMarker);
        v.japaneseTexts = true;
        v.aboutLink = "アップデートツールについて";
        v.warning = "ファームウェア更新中に取り外さないでください。";
    } else if (p == 41) {
        v.wizard = Wizard::Guide3;
        v.compact = true;
        v.title = "Telvoro上网卡软件版本升级程序";
        v.restartsCheckAfterWizard = false;
    } else if (p == 28) {
        v.wizard = Wizard::Guide2;
        v.wizardTitle = "JDF Software Update Tool";
    }
    if (v.wizard == Wizard::Guide || v.wizard == Wizard::Guide2) {
        // These guides carry the variant's own name; the window takes it as its title.
        if (p != 28) v.title = v.wizardTitle;
    }
    return v;
}

std::string LocalStatusText(const WindowVariant& variant, const std::string& text) {
    if (!variant.japaneseTexts) return text;
    if (text == "Ready") return "準備完了";
    if (text == "Not Ready") return "準備中";
    return text;
}

}  // namespace flintcast::gui
