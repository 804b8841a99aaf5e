#include "about/plugin_info.h"

#include <cstring>

#include "about/version_info.h"

namespace {
constexpr char kVendor[] = "Zelvorn";
}

void fillPluginInfo(HMODULE module, PluginInfo& info) {
    std::uint32_t translation = 0;
    const VersionBlock block = loadModuleVersionBlock(module, translation);
    queryVersionString(info.name, sizeof info.name, block.get(), translation, "FileDescription");
    std::memcpy(info.vendor, kVendor, sizeof kVendor);
    queryVersionString(info.version, sizeof info.version, block.get(), translation, "FileVersion");
    queryVersionString(info.description, sizeof info.description, block.get(), translation,
                       "Comments");
}
