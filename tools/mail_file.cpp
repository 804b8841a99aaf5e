#include "mail_file.h"

#include <fstream>
#include <iterator>

std::string headerBlockOf(const std::string& mail) {
    std::string header;
    std::size_t start = 0;
    while (start < mail.size()) {
        std::size_t end = mail.find('\n', start);
        if (end == std::string::npos) end = mail.size();
        std::size_t lineEnd = end;
        if (lineEnd > start && mail[lineEnd - 1] == '\r') --lineEnd;
        if (lineEnd == start) break;  // the empty line that ends the header
        header.append(mail, start, lineEnd - start);
        header += "\r\n";
        start = end + 1;
    }
    return header;
}

bool readFileBytes(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}
