#include "host/HostOptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace kestrel::host {

namespace {

// Decimal, or hexadecimal with 0x; the whole text must be the number.
bool ParseNumber(const char* text, unsigned long& number) {
    if (*text == '\0' || *text == '-') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    number = std::strtoul(text, &end, 0);
    return errno == 0 && *end == '\0';
}

bool ParseEvent(const std::string& text, PlugInEvent& event) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    unsigned long events = 0;
    unsigned long value = 0;
    if (!ParseNumber(text.substr(0, colon).c_str(), events) ||
        !ParseNumber(text.substr(colon + 1).c_str(), value)) {
        return false;
    }
    event.events = static_cast<UINT>(events);
    event.value = static_cast<LPARAM>(value);
    return true;
}

// Reads the command line one option at a time; "--name value" and
// "--name=value" are the same.
class ArgumentReader {
public:
    ArgumentReader(int argc, char** argv) : m_argc(argc), m_argv(argv) {}

    bool Next() {
        if (++m_index >= m_argc) {
            return false;
        }
        const char* argument = m_argv[m_index];
        const char* equals =
            std::strncmp(argument, "--", 2) == 0 ? std::strchr(argument, '=') : nullptr;
        if (equals != nullptr) {
            m_name.assign(argument, equals);
            m_inlineValue = equals + 1;
            m_hasInlineValue = true;
        } else {
            m_name = argument;
            m_hasInlineValue = false;
        }
        return true;
    }

    const std::string& Name() const { return m_name; }
    bool HasInlineValue() const { return m_hasInlineValue; }

    bool Value(std::string& value) {
        if (m_hasInlineValue) {
            value = m_inlineValue;
            return true;
        }
        if (m_index + 1 >= m_argc) {
            return false;
        }
        value = m_argv[++m_index];
        return true;
    }

private:
    int m_argc;
    char** m_argv;
    int m_index = 0;
    std::string m_name;
    std::string m_inlineValue;
    bool m_hasInlineValue = false;
};

} // namespace

bool ParseHostOptions(int argc, char** argv, HostOptions& options, std::string& error) {
    ArgumentReader reader(argc, argv);
    while (reader.Next()) {
        const std::string& name = reader.Name();
        const bool isFlag = name == "--run" || name == "--wait-background" ||
                            name == "--trace-beep" || name == "--unload-after-command" ||
                            name == "--help";
        if (isFlag) {
            if (reader.HasInlineValue()) {
                error = name + " takes no value";
                return false;
            }
            if (name == "--run") {
                options.run = true;
            } else if (name == "--wait-background") {
                options.waitBackground = true;
            } else if (name == "--trace-beep") {
                options.traceBeep = true;
            } else if (name == "--unload-after-command") {
                options.unloadAfterCommand = true;
            } else {
                options.help = true;
            }
            continue;
        }
        std::string value;
        const bool takesValue = name == "--dll" || name == "--document" || name == "--count" ||
                                name == "--wait-texts" || name == "--timeout-ms" ||
                                name == "--hold-ms" || name == "--browse" || name == "--event";
        if (!takesValue) {
            error = "unknown option " + name;
            return false;
        }
        if (!reader.Value(value)) {
            error = name + " needs a value";
            return false;
        }
        unsigned long number = 0;
        if (name == "--dll") {
            options.dllPath = value;
        } else if (name == "--document") {
            options.documentPath = value;
        } else if (name == "--browse") {
            if (value == "ok") {
                options.browse = BrowseAnswer::Ok;
            } else if (value == "cancel") {
                options.browse = BrowseAnswer::Cancel;
            } else {
                error = "--browse takes ok or cancel, not " + value;
                return false;
            }
        } else if (name == "--event") {
            PlugInEvent event;
            if (!ParseEvent(value, event)) {
                error = "--event takes EVENTS:VALUE, not " + value;
                return false;
            }
            options.events.push_back(event);
        } else if (!ParseNumber(value.c_str(), number) || number > 0xFFFFFFFFul) {
            error = name + " takes a number, not " + value;
            return false;
        } else if (name == "--count") {
            options.count = static_cast<unsigned>(number);
        } else if (name == "--wait-texts") {
            options.waitTexts = static_cast<unsigned>(number);
        } else if (name == "--hold-ms") {
            options.holdMs = static_cast<DWORD>(number);
        } else {
            options.timeoutMs = static_cast<DWORD>(number);
        }
    }
    return true;
}

const char* HostUsage() {
    return "KestrelHost [options]: loads a plug-in DLL and hosts it as the editor would.\n"
           "  --dll PATH              plug-in to load (default: Kestrel.dll beside the host)\n"
           "  --document PATH         answer of the document-path query (default: empty)\n"
           "  --run                   call OnCommand once the window shows, then exit\n"
           "  --count N               call OnCommand N times in a row (default 1)\n"
           "  --event EVENTS:VALUE    call OnEvents before the commands (repeatable)\n"
           "  --wait-background       after the commands, wait for status texts that\n"
           "                          arrive late (sent from another thread)\n"
           "  --wait-texts N          how many late texts to wait for (default 1)\n"
           "  --timeout-ms MS         give up a scripted run after MS ms, exit code 3\n"
           "                          (default 120000)\n"
           "  --browse ok|cancel      press OK or Cancel in every folder browser shown\n"
           "  --trace-beep            report the plug-in's MessageBeep calls\n"
           "  --unload-after-command  FreeLibrary the plug-in after the last command\n"
           "  --hold-ms MS            keep the window MS ms after a scripted run\n";
}

} // namespace kestrel::host
