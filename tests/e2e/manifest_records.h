#pragma once
// Reading a manifest back in the tests: its records, those of one type, and the hashes and inodes
// they are checked against.

#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

#include <nlohmann/json.hpp>

namespace e2e {

/// The SHA-256 of `bytes` as 64 lower-case hex digits.
std::string Sha256Of(const std::string& bytes);

/// The manifest's records; a line that is not JSON fails the test, unless `cut` is given, which
/// then counts it. Lone surrogate escapes (bytes that were not UTF-8) are read by the test's own
/// stand-in, since the strict parser refuses them.
std::vector<nlohmann::json> Records(const std::string& path, size_t* cut = nullptr);

std::vector<nlohmann::json> OfType(const std::vector<nlohmann::json>& records, const std::string& type);

/// Checks the file records against the tree at `out`: every file of the tree (but the log) has
/// exactly one record, with its size and hash, and every record with a path names a file of the
/// tree. The records by path.
std::map<std::string, nlohmann::json> RecordsMatchTree(const std::string& out,
                                                       const std::vector<nlohmann::json>& files);

/// The inode of the file at `path`, 0 when there is none.
ino_t Inode(const std::string& path);

} // namespace e2e
