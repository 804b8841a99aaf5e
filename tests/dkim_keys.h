// The test keys and DMARC records as the DNS server of the Windows tests
// publishes them (tests/dkim/dnsmasq.conf), handed to the checker directly.
#pragma once

#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "keys/key_source.h"

class TestKeys final : public KeySource {
public:
    // Reads the txt-record lines of the server's settings.
    TestKeys() {
        std::ifstream conf(QM_DKIM_DIR "/dnsmasq.conf");
        for (std::string line; std::getline(conf, line);) {
            if (line.rfind("txt-record=", 0) != 0) continue;
            const std::size_t comma = line.find(',');
            std::string joined;
            for (std::size_t at = line.find('"', comma); at != std::string::npos; at = line.find('"', at)) {
                const std::size_t end = line.find('"', at + 1);
                joined += line.substr(at + 1, end - at - 1);
                at = end + 1;
            }
            records[line.substr(11, comma - 11)].push_back(joined);
        }
    }

    std::map<std::string, KeyRecords> records;
    std::set<std::string> pending;  // names whose lookup does not end in time
    std::set<std::string> failing;  // names whose lookup fails
    std::vector<std::string> asked;
    int lookUps = 0;  // calls, each asking for some names at once

    void lookUp(const std::string* names, std::size_t count, std::uint32_t, KeyAnswer* answers) override {
        ++lookUps;
        for (std::size_t i = 0; i < count; ++i) {
            asked.push_back(names[i]);
            const auto found = records.find(names[i]);
            if (pending.count(names[i]) > 0) {
                answers[i] = {KeyState::kPending, nullptr};
            } else if (failing.count(names[i]) > 0) {
                answers[i] = {KeyState::kFailed, nullptr};
            } else if (found == records.end()) {
                // As the server answers for the test domains: a name it
                // holds no record at does not exist.
                answers[i] = {KeyState::kNoName, nullptr};
            } else {
                answers[i] = {KeyState::kFound, std::make_shared<KeyRecords>(found->second)};
            }
        }
    }
};

// A signed test mail, as made by tests/dkim/make-test-mails.
inline std::string signedMail(const std::string& name) {
    std::ifstream in(QM_DKIM_DIR "/mails/" + name + ".eml", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
