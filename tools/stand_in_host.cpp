// A console program that plays the mail client for Quillmark.dll: it exports
// the host's functions, loads the plug-in, starts it and opens mail files,
// printing exactly the text the plug-in hands back for each. It calls the
// plug-in as a client built by another compiler does, at every stack offset
// in turn, and fails when a call does not give back what it was handed.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "box_watcher.h"
#include "client_menu.h"
#include "host_exports.h"
#include "local_clock.h"
#include "mail_file.h"
#include "plugin_module.h"

namespace {

constexpr char kUsage[] =
    "usage: standin_host [--plugin DLL] [--today YYYY-MM-DD] [--info] [--menu] [--setup] [--timed] [--minute] "
    "[--soak N [--reference DLL]...] [MAIL...]\n";

struct Options {
    std::string plugin = "Quillmark.dll";
    bool info = false;
    bool menu = false;
    bool setup = false;
    bool timed = false;  // tell how long the start, each open and the exit took
    bool minute = false;  // a minute passes after each mail
    const char* today = nullptr;  // the plug-in's local date, instead of the clock's
    long soakOpens = 0;  // nonzero: open each mail that often and report, not show
    std::vector<std::string> references;  // plug-ins to time the soak against
    std::vector<std::string> mails;
};

bool parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--plugin" && i + 1 < argc) {
            options.plugin = argv[++i];
        } else if (arg == "--info") {
            options.info = true;
        } else if (arg == "--menu") {
            options.menu = true;
        } else if (arg == "--setup") {
            options.setup = true;
        } else if (arg == "--timed") {
            options.timed = true;
        } else if (arg == "--minute") {
            options.minute = true;
        } else if (arg == "--today" && i + 1 < argc) {
            options.today = argv[++i];
        } else if (arg == "--reference" && i + 1 < argc) {
            options.references.push_back(argv[++i]);
        } else if (arg == "--soak" && i + 1 < argc) {
            options.soakOpens = std::strtol(argv[++i], nullptr, 10);
            if (options.soakOpens <= 0) return false;
        } else if (arg.rfind("--", 0) == 0) {
            return false;
        } else {
            options.mails.push_back(arg);
        }
    }
    return true;
}

void write(const std::string& bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stdout); }

void printInfo(PluginModule& plugin) {
    PluginInfo info{};
    plugin.onPlugInInfo(&info);
    write(std::string("name: ") + info.name + "\nvendor: " + info.vendor +
          "\nversion: " + info.version + "\ndescription: " + info.description + "\n");
}

// Prints what the plug-in adds to the sixth pop-up, the one it uses.
void printMenu(PluginModule& plugin) {
    const HMENU menu = makeClientMenu();
    const HMENU sub = GetSubMenu(menu, 5);
    const int before = GetMenuItemCount(sub);
    plugin.onMenuInit(nullptr, menu, 0);
    for (int position = before; position < GetMenuItemCount(sub); ++position) {
        const MenuItemReading item = readMenuItem(sub, position);
        if (item.type & MFT_SEPARATOR) {
            write("separator\n");
        } else {
            write("item " + std::to_string(item.id) + " " + item.text + "\n");
        }
    }
    DestroyMenu(menu);
}

bool printSetup(PluginModule& plugin) {
    BoxWatcher watcher;
    plugin.onPlugInSetup(nullptr);
    const BoxWatcher::Box box = watcher.result();
    if (!box.seen) {
        std::fputs("standin_host: the settings box did not appear (no display?)\n", stderr);
        return false;
    }
    write(box.caption + "\n\n" + box.body + "\n");
    return true;
}

bool readMail(const std::string& path, std::string& mail) {
    if (readFileBytes(path, mail)) return true;
    std::fprintf(stderr, "standin_host: cannot read %s\n", path.c_str());
    return false;
}

double secondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool openMail(PluginModule& plugin, const std::string& path, bool named, bool timed) {
    std::string mail;
    if (!readMail(path, mail)) return false;
    if (named) write("==> " + path + " <==\n");
    const std::size_t before = standin::viewTexts().size();
    const MailId id = standin::addMailSource(mail);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    plugin.onOpenMail(id);
    if (timed) std::fprintf(stderr, "standin_host: %s opened in %.3f ms\n", path.c_str(), 1e3 * secondsSince(start));
    const std::vector<standin::ViewText>& texts = standin::viewTexts();
    if (texts.size() == before) std::fprintf(stderr, "standin_host: %s: no header line shown\n", path.c_str());
    for (std::size_t i = before; i < texts.size(); ++i) write(texts[i].text);
    return true;
}

// The committed private memory of this process, counted region by region:
// what Windows reports as private bytes, which Wine leaves at zero.
SIZE_T privateBytes() {
    SIZE_T total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (auto* address = static_cast<const char*>(nullptr);
         VirtualQuery(address, &region, sizeof region) == sizeof region;
         address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        if (region.RegionSize == 0) break;
    }
    return total;
}


// Opens mail opens times in plugin; returns the microseconds per open and
// adds the views the host was handed to views.
double timeOpens(PluginModule& plugin, MailId mail, long opens, long& views) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    for (long i = 0; i < opens; ++i) {
        plugin.onOpenMail(mail);
        views += static_cast<long>(standin::viewTexts().size());
        standin::viewTexts().clear();
        standin::headerRequests().clear();
        standin::sourceRequests().clear();
    }
    return 1e6 * secondsSince(start) / static_cast<double>(opens);
}

// A plug-in timed against the one soaked, and what it measured.
struct Reference {
    std::string name;
    std::unique_ptr<PluginModule> module;
    double total = 0;            // microseconds per mail, summed over rounds
    std::vector<double> ratios;  // the soaked plug-in's time over its, per round
};

// Opens the mail again and again, as a user reading mail all day would, and
// reports the time per mail and what the process's private bytes grew by.
// With reference plug-ins, rounds of opens alternate between the plug-in and
// each of them, so that all meet the same machine, and the median of the
// rounds' ratios of time per mail is reported for each.
bool soakMail(PluginModule& plugin, std::vector<Reference>& references, const std::string& path, long opens) {
    std::string mail;
    if (!readMail(path, mail)) return false;
    const MailId id = standin::addMailSource(mail);
    long views = 0;
    long ignored = 0;
    timeOpens(plugin, id, 100, ignored);  // the first opens may size the heap
    for (Reference& reference : references) timeOpens(*reference.module, id, 100, ignored);

    constexpr long kRounds = 51;
    const long perRound = references.empty() ? opens : std::max(1L, opens / kRounds);
    const long rounds = references.empty() ? 1 : kRounds;
    double ownTotal = 0;
    const SIZE_T before = privateBytes();
    for (long round = 0; round < rounds; ++round) {
        const double own = timeOpens(plugin, id, perRound, views);
        ownTotal += own;
        for (Reference& reference : references) {
            const double theirs = timeOpens(*reference.module, id, perRound, ignored);
            reference.total += theirs;
            reference.ratios.push_back(own / theirs);
        }
    }
    const SIZE_T after = privateBytes();
    std::printf("soak: %ld opens of %s, %ld views: %.2f us per mail; private bytes %lu -> %lu (%+ld KiB)\n",
                perRound * rounds, path.c_str(), views, ownTotal / static_cast<double>(rounds),
                static_cast<unsigned long>(before), static_cast<unsigned long>(after),
                (static_cast<long>(after) - static_cast<long>(before)) / 1024);
    for (Reference& reference : references) {
        std::sort(reference.ratios.begin(), reference.ratios.end());
        std::printf("reference %s: %.2f us per mail; ratio %.2f (median of %zu rounds)\n", reference.name.c_str(),
                    reference.total / static_cast<double>(rounds), reference.ratios[reference.ratios.size() / 2],
                    reference.ratios.size());
        reference.total = 0;
        reference.ratios.clear();
    }
    return true;
}

// Whether every call into module kept the calling convention; says what
// went wrong when one did not.
bool keptTheConvention(const std::string& name, const PluginModule& module) {
    if (module.calls().fault().empty()) return true;
    std::fprintf(stderr, "standin_host: %s: %s\n", name.c_str(), module.calls().fault().c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    Options options;
    if (!parse(argc, argv, options) ||
        (options.mails.empty() && !options.info && !options.menu && !options.setup)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    PluginModule plugin(options.plugin);
    if (!plugin.loaded()) {
        std::fprintf(stderr, "standin_host: cannot load %s (error %lu)\n", options.plugin.c_str(),
                     plugin.loadError());
        return 2;
    }
    WORD year = 0, month = 0, day = 0;
    if (options.today != nullptr &&
        (!readLocalDate(options.today, year, month, day) || !setLocalDate(plugin.handle(), year, month, day))) {
        std::fprintf(stderr, "standin_host: cannot set the date %s for %s\n", options.today, options.plugin.c_str());
        return 2;
    }
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    plugin.onStart();
    if (options.timed) std::fprintf(stderr, "standin_host: started in %.1f ms\n", 1e3 * secondsSince(start));
    std::vector<Reference> references;
    for (const std::string& name : options.references) {
        references.push_back({name, std::make_unique<PluginModule>(name), 0, {}});
        if (!references.back().module->loaded()) {
            std::fprintf(stderr, "standin_host: cannot load %s (error %lu)\n", name.c_str(),
                         references.back().module->loadError());
            return 2;
        }
        // Another build of the plug-in reads its settings, as this one did.
        references.back().module->onStart();
    }

    bool ok = true;
    if (options.info) printInfo(plugin);
    if (options.menu) printMenu(plugin);
    if (options.setup) ok = printSetup(plugin) && ok;
    for (const std::string& mail : options.mails) {
        ok = (options.soakOpens > 0 ? soakMail(plugin, references, mail, options.soakOpens)
                                    : openMail(plugin, mail, options.mails.size() > 1, options.timed)) &&
             ok;
        if (options.minute) plugin.onEveryMinute();
    }
    // The client tells its plug-ins when it closes.
    QueryPerformanceCounter(&start);
    plugin.onExit();
    if (options.timed) std::fprintf(stderr, "standin_host: exited in %.1f ms\n", 1e3 * secondsSince(start));
    ok = keptTheConvention(options.plugin, plugin) && ok;
    for (const Reference& reference : references) ok = keptTheConvention(reference.name, *reference.module) && ok;
    std::fflush(stdout);
    return ok ? 0 : 1;
}
