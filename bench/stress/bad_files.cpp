// Bad files: generated config.ini and ban.dat contents; for each the program
// starts or refuses with a message, in time, without crashing, spinning or
// growing, and a ban file of a length that is not a multiple of 4 is deleted.
#include "scenarios.h"

#include "relay_process.h"
#include "sockets.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <vector>

namespace qm::stress {

namespace {

namespace fs = std::filesystem;

// A file's content, or a folder in its place, or nothing.
struct Content {
    enum Kind { Absent, Bytes, Folder } kind = Absent;
    std::string bytes;
    // Large contents are made when placed, so that this process stays small:
    // a program forked from it would count its size in its own peak.
    std::function<std::string()> make;
};

Content folder() {
    return {Content::Folder, {}, {}};
}

Content made(std::function<std::string()> make) {
    return {Content::Bytes, {}, std::move(make)};
}

Content bytes(std::string text) {
    return {Content::Bytes, std::move(text), {}};
}

struct Case {
    std::string name;
    Content config;
    Content bans;
};

std::string randomBytes(std::mt19937& random, std::size_t count) {
    std::string text(count, '\0');
    for (char& c : text)
        c = static_cast<char>(random() & 0xFF);
    return text;
}

// The usable settings with one line changed or added.
std::string configWith(std::uint16_t clientPort, std::uint16_t serverPort, const std::string& key,
                       const std::string& value) {
    std::string text = RelayProcess::configFor(clientPort, serverPort);
    const std::size_t at = text.find("\n" + key + "=");
    if (at == std::string::npos)
        return text + key + "=" + value + "\n";
    const std::size_t end = text.find('\n', at + 1);
    return text.substr(0, at + 2 + key.size()) + value + text.substr(end);
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

std::vector<Content> configContents(std::mt19937& random, std::uint16_t port, std::uint16_t server,
                                    bool hostNames, std::vector<std::string>* names) {
    std::vector<Content> contents;
    const auto add = [&](std::string name, Content content) {
        names->push_back(std::move(name));
        contents.push_back(std::move(content));
    };
    const std::string good = RelayProcess::configFor(port, server);
    add("usable", bytes(good));
    add("absent", {});
    add("folder", folder());
    add("empty", bytes(""));
    for (int i = 0; i < 40; ++i)
        add("random bytes", bytes(randomBytes(random, random() % 4096)));
    for (int i = 0; i < 10; ++i)
        add("random bytes after the section", bytes(good + randomBytes(random, random() % 4096)));
    const char* ports[] = {"0",          "-1",    "-65535", "65535",  "65536", "99999",
                           "4294967296", "1e300", "-1e300", "9730.5", "abc",   "",
                           " ",          "0x10",  "nan",    "inf",    "1,5",   "+5"};
    for (const char* key : {"Client_Port", "Server_Port", "Server2_Port"})
        for (const char* value : ports)
            add(std::string(key) + "=" + value, bytes(configWith(port, server, key, value)));
    for (const char* value : {"1", "-1", "1.4", "32768", "-99999999", "yes", ""})
        add(std::string("Auto_Start=") + value,
            bytes(configWith(port, server, "Auto_Start", value)));
    add("missing section", bytes(good.substr(good.find('\n') + 1)));
    add("other section", bytes(replaceAll(good, "[main]", "[other]")));
    add("section never closed", bytes(replaceAll(good, "[main]", "[main")));
    add("duplicate keys, bad one second", bytes(good + "Client_Port=-1\n"));
    add("duplicate keys, bad one first", bytes("[main]\nClient_Port=-1\n" + good.substr(7)));
    add("duplicate sections", bytes(good + "[main]\nClient_Port=99999\n"));
    add("CR line endings", bytes(replaceAll(good, "\n", "\r")));
    add("CRLF line endings", bytes(replaceAll(good, "\n", "\r\n")));
    add("LF line endings", bytes(good));
    add("mixed line endings", bytes(replaceAll(good, "Server_IP", "\r\nServer_IP")));
    add("no final line ending", bytes(good.substr(0, good.size() - 1)));
    add("UTF-8 byte-order mark", bytes("\xEF\xBB\xBF" + good));
    add("UTF-16 text", [&] {
        std::string wide = "\xFF\xFE";
        for (char c : good)
            wide += std::string{c, '\0'};
        return bytes(wide);
    }());
    add("NUL in the address",
        bytes(configWith(port, server, "Server2_IP", std::string("127.0.0.1\0x", 11))));
    add("10 MiB of empty lines after", made([good] { return good + std::string(10 << 20, '\n'); }));
    add("10 MiB of empty lines before",
        made([good] { return std::string(10 << 20, '\n') + good; }));
    add("10 MiB value",
        made([=] { return configWith(port, server, "Server2_IP", std::string(10 << 20, '7')); }));
    add("10 MiB of random bytes", made([] {
            std::mt19937 own(10);
            return randomBytes(own, 10 << 20);
        }));
    add("20 MiB of empty lines", made([good] { return good + std::string(20 << 20, '\n'); }));
    add("a line of 1 MiB blanks", made([good] { return std::string(1 << 20, ' ') + good; }));
    if (hostNames) {
        // Resolved only where no name server can be reached (a namespace of its own).
        for (std::size_t length : {64, 254, 300, 5000, 100000})
            add("host name of " + std::to_string(length), made([=] {
                    return configWith(port, server, "Server2_IP", std::string(length, 'a'));
                }));
        add("non-UTF-8 host name",
            bytes(configWith(port, server, "Server2_IP", "\xFF\xFE\xC0\x80host")));
        add("host name with dots",
            bytes(configWith(port, server, "Server2_IP",
                             replaceAll(std::string(1000, 'a'), "aaaa", "aaa."))));
    }
    return contents;
}

std::vector<Content> banContents(std::mt19937& random, std::vector<std::string>* names) {
    std::vector<Content> contents;
    for (std::size_t size = 0; size <= 64; ++size) {
        names->push_back(std::to_string(size) + " B");
        contents.push_back(bytes(randomBytes(random, size)));
    }
    names->push_back("1 MiB");
    contents.push_back(bytes(randomBytes(random, 1 << 20)));
    names->push_back("1 MiB + 1");
    contents.push_back(bytes(randomBytes(random, (1 << 20) + 1)));
    names->push_back("folder");
    contents.push_back(folder());
    names->push_back("absent");
    contents.push_back({});
    return contents;
}

void place(const std::string& path, const Content& content) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
    if (content.kind == Content::Folder)
        fs::create_directory(path);
    else if (content.kind == Content::Bytes)
        std::ofstream(path, std::ios::binary) << (content.make ? content.make() : content.bytes);
}

// What the ban file must be after the start: a length of 0 or not a multiple
// of 4 is deleted, anything else is left as it was.
bool banRuleHolds(const std::string& path, const Content& before) {
    std::error_code error;
    if (before.kind == Content::Folder)
        return fs::is_directory(path, error);
    if (before.kind == Content::Absent)
        return !fs::exists(path, error);
    const std::size_t size = before.bytes.size();
    if (size == 0 || size % 4 != 0)
        return !fs::exists(path, error);
    std::ifstream file(path, std::ios::binary);
    const std::string now((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    return now == before.bytes;
}

} // namespace

bool runBadFiles(const StressOptions& options) {
    const std::size_t total = options.quick ? 40 : 520;
    std::mt19937 random(4242);
    std::uint16_t server = 0;
    const pid_t echo = startEchoServer(&server);
    const std::uint16_t port = freePort();
    std::vector<std::string> configNames, banNames;
    const std::vector<Content> configs =
        configContents(random, port, server, options.isolated, &configNames);
    const std::vector<Content> bans = banContents(random, &banNames);
    RelayProcess relay(options.program);

    // The usual memory: the usable settings, no ban file.
    long usualKiB = 0;
    for (int i = 0; i < 3; ++i) {
        place(relay.configPath(), configs[0]);
        place(relay.banPath(), {});
        relay.start();
        relay.waitListening(Clock::now() + scaled(options, 5000));
        relay.stop();
        usualKiB = std::max(usualKiB, relay.peakKiB());
    }
    const long allowedKiB = usualKiB + 8 * 1024;

    int started = 0, refused = 0;
    double slowest = 0;
    long largest = 0;
    std::vector<std::string> faults;
    for (std::size_t i = 0; i < total; ++i) {
        // Every config case at least once; ban cases walk on at another pace.
        const std::size_t c = options.quick ? (i * 7) % configs.size() : i % configs.size();
        const std::size_t b = (i * 5 + i / bans.size()) % bans.size();
        const std::string name = configNames[c] + " / ban file " + banNames[b];
        place(relay.configPath(), configs[c]);
        place(relay.banPath(), bans[b]);
        const auto begin = Clock::now();
        relay.start();
        const bool listening = relay.waitListening(begin + scaled(options, 2000));
        // Waiting for a server to answer, with a message, is a refusal that stays up.
        const bool held = listening || (relay.waiting() && !relay.messages().empty());
        const double seconds = secondsSince(begin);
        if (held) {
            // Held a little, so that a relay that spins shows it in its processor time.
            std::this_thread::sleep_for(std::chrono::milliseconds(options.quick ? 100 : 200));
            relay.readOutput();
        }
        const bool ended = !held && (relay.reap() || !relay.running());
        const double lifetime = secondsSince(begin);
        relay.stop();
        std::string fault;
        // SIGTERM ends it with code 0: any signal is a crash, or a kill after it hung.
        if (relay.exitSignal() != 0)
            fault = "ended by signal " + std::to_string(relay.exitSignal());
        else if (!held && !ended)
            fault = "neither listened nor ended within 2 s";
        else if (ended && relay.messages().empty())
            fault = "ended without a message (code " + std::to_string(relay.exitCode()) + ")";
        else if (!options.sanitized && held && relay.processorSeconds() > 0.15 + 0.5 * lifetime)
            fault = "spun: " + std::to_string(relay.processorSeconds()) + " s of processor time";
        else if (!options.sanitized && relay.peakKiB() > allowedKiB)
            fault = "took " + std::to_string(relay.peakKiB()) + " KiB";
        else if (!banRuleHolds(relay.banPath(), bans[b]))
            fault = "ban file rule broken";
        if (!fault.empty())
            faults.push_back(name + ": " + fault);
        (listening ? started : refused) += 1;
        slowest = std::max(slowest, seconds);
        largest = std::max(largest, relay.peakKiB());
    }
    stopProcess(echo);

    std::printf("bad files: %s, %zu cases (%zu config kinds, %zu ban kinds%s): %d started, %d "
                "refused with a message, %zu faults; slowest outcome %.2f s; memory usual %ld KiB, "
                "largest %ld KiB\n",
                faults.empty() ? "ok" : "FAILED", total, configs.size(), bans.size(),
                options.isolated ? "" : ", host names left out outside a namespace", started,
                refused, faults.size(), slowest, usualKiB, largest);
    for (std::size_t i = 0; i < faults.size() && i < 20; ++i)
        std::printf("  %s\n", faults[i].c_str());
    std::fflush(stdout);
    return faults.empty();
}

} // namespace qm::stress
