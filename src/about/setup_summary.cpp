#include "about/setup_summary.h"

#include <string>

#include "about/version_info.h"
#include "settings/settings_file.h"

namespace {

constexpr std::size_t kVersionValueSize = 256;

void listPatterns(std::string& body, const PatternList& patterns) {
    for (const std::string& pattern : patterns) body.append("    ").append(pattern).append("\n");
}

}  // namespace

SetupSummary composeSetupSummary(HMODULE module, const Settings& settings) {
    std::uint32_t translation = 0;
    const VersionBlock block = loadModuleVersionBlock(module, translation);
    char description[kVersionValueSize];
    char version[kVersionValueSize];
    char copyright[kVersionValueSize];
    queryVersionString(description, sizeof description, block.get(), translation, "FileDescription");
    queryVersionString(version, sizeof version, block.get(), translation, "FileVersion");
    queryVersionString(copyright, sizeof copyright, block.get(), translation, "LegalCopyright");

    std::string caption = description;
    caption += " のﾊﾞｰｼﾞｮﾝ情報";

    std::string body = description;
    body.append(" ").append(version).append("\n").append(copyright).append("\n\n");
    body += "現在の設定\n";
    body += "  [ShowHeader]\n";
    listPatterns(body, settings.showPatterns);
    body += "  [HideHeader]\n";
    listPatterns(body, settings.hidePatterns);
    body += "\n";
    body += "設定を変更する際は下記のINIファイルを修正してください。\n";
    body += "設定はBecky!を再起動するまで有効になりません。\n";
    char path[kPathSize];
    deriveSettingsPath(module, path);
    body += path;
    return {caption, body};
}

void showSetupSummary(HMODULE module, HWND ownerWindow, const Settings& settings) {
    const SetupSummary summary = composeSetupSummary(module, settings);
    MessageBoxA(ownerWindow, summary.body.c_str(), summary.caption.c_str(), MB_OK);
}
