#pragma once
// How the window looks for a configuration: language, branded titles, image set, the compact
// window and the start-up wizard. Plain rules, no widgets.
#include <string>

#include "config/project_config.h"
#include "config/project_traits.h"

namespace flintcast::gui {

using Wizard = config::GuideWizard;

struct WindowVariant {
    bool japaneseImages = false;  // the Japanese Start and finish pictures
    bool japaneseTexts = false;   // Japanese title, about link, warning and status texts
    bool branded = false;         // the branded Japanese variants
    bool compact = false;         // the small stay-on-top window of the third guide
    bool showsTitle = true;       // title label, about link and warning (hidden under some wizards)
    std::string title;
    std::string aboutLink;
    std::string warning;
    int buttonTop = 0;  // 0: the default place; the branded variants move the buttons up
    Wizard wizard = Wizard::None;
    std::string wizardTitle;
    bool restartsCheckAfterWizard = true;
};

WindowVariant VariantFor(const config::ProjectConfig& config);

// The device check's status texts in the window's language.
std::string LocalStatusText(const WindowVariant& variant, const std::string& text);

inline constexpr int kStartWidth = 505;
inline constexpr int kStartHeight = 288;
inline constexpr int kCompactWidth = 480;
inline constexpr int kCompactHeight = 185;
inline constexpr int kCompletedWidth = 510;
inline constexpr int kCompletedHeight = 395;
inline constexpr int kFailedWidth = 300;
inline constexpr int kFailedHeight = 165;
inline constexpr int kBrandedButtonTop = 212;

}  // namespace flintcast::gui
