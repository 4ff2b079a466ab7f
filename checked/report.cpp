#include "report.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>

namespace checked {

namespace {

struct RuleInfo {
    const char* tag;
    Level level;
};

constexpr RuleInfo kRules[] = {
    {"closed-channel", Level::Warning},  {"closed-view", Level::Warning},       {"foreign-channel", Level::Error},
    {"window-destroyed", Level::Error},  {"draw-outside-frame", Level::Error},  {"overlay-outside-frame", Level::Error},
    {"missing-record", Level::Error},    {"vertex-index", Level::Error},        {"not-finite", Level::Error},
    {"corner-count", Level::Warning},    {"material-index", Level::Warning},    {"material-table", Level::Error},
    {"unknown-texture", Level::Warning}, {"texture-operation", Level::Warning}, {"bitmap-fields", Level::Error},
    {"id-zero", Level::Error},           {"degenerate-matrix", Level::Warning}, {"zero-key", Level::Warning},
    {"loader-refused", Level::Warning},  {"view-volume", Level::Error},         {"gl-error", Level::Error},
    {"driver-missing", Level::Error},
};
static_assert(sizeof kRules / sizeof kRules[0] == static_cast<size_t>(Rule::Count), "one entry per rule");

// Where the lines go and whether an error stops the program, from the
// environment at the first report. The log file is opened for each line, so
// that the host may read, move or delete it while the program runs.
struct Settings {
    std::string log;
    bool breakOnError = false;

    Settings()
    {
        const char* path = std::getenv("ZQGD_CHECKED_LOG");
        if (path != nullptr) log = path;
        const char* stop = std::getenv("ZQGD_CHECKED_BREAK");
        breakOnError = stop != nullptr && *stop != '\0' && std::strcmp(stop, "0") != 0;
    }
};

Settings& TheSettings()
{
    static Settings settings;
    return settings;
}

// A report's identity for printing once: the operation and the rule.
using Key = std::pair<std::string, Rule>;

std::set<Key>& Printed()
{
    static std::set<Key> printed;
    return printed;
}

// Reports of each channel since its last summary, repeats included.
std::map<const ChannelRecord*, std::map<Key, uint32_t>>& Counts()
{
    static std::map<const ChannelRecord*, std::map<Key, uint32_t>> counts;
    return counts;
}

const char* LevelName(Level level) { return level == Level::Error ? "error" : "warning"; }

// Standard error when no log is set or it cannot be opened.
void Emit(const char* text)
{
    const std::string& log = TheSettings().log;
    FILE* file = log.empty() ? nullptr : std::fopen(log.c_str(), "a");
    std::fputs(text, file != nullptr ? file : stderr);
    if (file != nullptr) std::fclose(file);
}

}  // namespace

const char* TagOf(Rule rule) { return kRules[static_cast<size_t>(rule)].tag; }
Level LevelOf(Rule rule) { return kRules[static_cast<size_t>(rule)].level; }

Hex::Hex(const void* pointer)
{
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(pointer)));
}

void Report(const ChannelRecord* channel, const char* operation, Rule rule, const char* format, ...)
{
    Key key{operation, rule};
    ++Counts()[channel][key];
    if (!Printed().insert(key).second) return;
    char message[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(message, sizeof message, format, arguments);
    va_end(arguments);
    char line[700];
    std::snprintf(line, sizeof line, "zqgd-checked: %s: %s: %s [%s]\n", LevelName(LevelOf(rule)), operation, message,
                  TagOf(rule));
    Emit(line);
    if (LevelOf(rule) == Level::Error && TheSettings().breakOnError) std::abort();
}

void Summarise(const ChannelRecord* channel)
{
    auto found = Counts().find(channel);
    uint32_t totals[2] = {0, 0};
    char line[700];
    if (found != Counts().end()) {
        for (const auto& [key, count] : found->second) totals[LevelOf(key.second) == Level::Error ? 1 : 0] += count;
    }
    std::snprintf(line, sizeof line, "zqgd-checked: summary: CloseChannel: channel %s: %u errors, %u warnings\n",
                  Hex(channel).text, totals[1], totals[0]);
    Emit(line);
    if (found == Counts().end()) return;
    for (const auto& [key, count] : found->second) {
        if (count < 2) continue;
        std::snprintf(line, sizeof line, "zqgd-checked: summary: CloseChannel:   %s: %s %u times [%s]\n",
                      key.first.c_str(), LevelName(LevelOf(key.second)), count, TagOf(key.second));
        Emit(line);
    }
    Counts().erase(found);
}

}  // namespace checked
