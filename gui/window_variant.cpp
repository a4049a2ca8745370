#include "gui/window_variant.h"

#include "config/project_traits.h"
#include "controller/run_rules.h"

namespace flintcast::gui {

WindowVariant VariantFor(const config::ProjectConfig& c) {
    WindowVariant v;
    const int p = c.projectType;
    const bool marked = config::IsVersionMarked(c);
    const bool japaneseLanguage = c.language == config::Language::Japanese;
    v.title = c.caption;
    v.aboutLink = "About";
    v.warning = "Do not unplug USB during upgrading!";
    v.japaneseImages = config::UsesJapaneseImages(p, marked) || japaneseLanguage;
    if (japaneseLanguage) {
        v.japaneseTexts = true;
        v.title = "Arvo ソフトウェアアップデートツール V1.0";
        v.aboutLink = "アップデートツールについて";
        v.warning = "ファームウェア更新中に取り外さないでください。";
    }
    if (config::UsesBrandedJapanese(p)) {
        v.branded = true;
        v.japaneseTexts = true;
        v.title = config::WindowTitle(p);
        v.aboutLink = "バージョン情報";
        v.warning = "アップデート中はUSBケーブルを抜かないでください。PCのサスペンドやシャットダウンも絶対にしないでください。";
        v.buttonTop = kBrandedButtonTop;
    }
    v.wizard = config::WizardOf(p, marked);
    switch (v.wizard) {
        case Wizard::None: break;
        case Wizard::Guide:
            v.wizardTitle = config::WizardTitle(p);
            v.showsTitle = false;
            break;
        case Wizard::Guide1: v.wizardTitle = config::WizardTitle(p); break;
        case Wizard::Guide2:
            if (!config::IsOstrelVariant(p, marked)) {
                v.wizardTitle = config::WizardTitle(p);
                break;
            }
            v.wizardTitle = controller::VariantToolTitle(p, c.versionMarker);
            v.japaneseTexts = true;
            v.aboutLink = "アップデートツールについて";
            v.warning = "ファームウェア更新中に取り外さないでください。";
            break;
        case Wizard::Guide3:
            v.compact = true;
            v.title = config::WindowTitle(p);
            v.restartsCheckAfterWizard = false;
            break;
    }
    if (v.wizard == Wizard::Guide || v.wizard == Wizard::Guide2) {
        // These guides carry the variant's own name; the window takes it as its title unless
        // the variant fixes a window title of its own.
        if (config::WindowTitle(p).empty()) v.title = v.wizardTitle;
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
