// Mail files as the client hands them to plug-ins.
#pragma once

#include <string>

// The header block of a mail: its lines up to the first empty one, each
// ended with CR LF, as the client stores it. Lines may end in LF or CR LF in
// the file.
std::string headerBlockOf(const std::string& mail);

// Reads the whole file at path into bytes; false when it cannot be read.
bool readFileBytes(const std::string& path, std::string& bytes);
