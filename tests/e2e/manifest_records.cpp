#include "manifest_records.h"

#include <fstream>
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "run_program.h"

namespace e2e {

std::string Sha256Of(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        static constexpr char kHex[] = "0123456789abcdef";
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0xF];
    }
    return hex;
}

std::vector<nlohmann::json> Records(const std::string& path, size_t* cut) {
    std::vector<nlohmann::json> records;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        for (size_t at = 0; (at = line.find("\\udc", at)) != std::string::npos;)
            line.replace(at, 4, "\\u00");
        nlohmann::json record = nlohmann::json::parse(line, nullptr, false);
        if (cut && !record.is_object()) {
            ++*cut;
            continue;
        }
        EXPECT_TRUE(record.is_object()) << line;
        records.push_back(std::move(record));
    }
    return records;
}

std::vector<nlohmann::json> OfType(const std::vector<nlohmann::json>& records, const std::string& type) {
    std::vector<nlohmann::json> found;
    for (const nlohmann::json& record : records)
        if (record.value("type", "") == type) found.push_back(record);
    return found;
}

ino_t Inode(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

std::map<std::string, nlohmann::json> RecordsMatchTree(const std::string& out,
                                                       const std::vector<nlohmann::json>& files) {
    std::map<std::string, nlohmann::json> by_path;
    for (const nlohmann::json& file : files)
        if (!file["path"].is_null())
            EXPECT_TRUE(by_path.emplace(file["path"].get<std::string>(), file).second) << file["path"];
    size_t in_tree = 0;
    for (const std::string& path : ListTree(out)) {
        if (path.ends_with("/") || path == "dornick.txt") continue;
        ++in_tree;
        SCOPED_TRACE(path);
        if (by_path.count(path) != 1) {
            ADD_FAILURE() << "no record";
            continue;
        }
        const std::string bytes = ReadFile(out + "/" + path);
        EXPECT_EQ(by_path[path]["size"], bytes.size());
        EXPECT_EQ(by_path[path]["sha256"], Sha256Of(bytes));
    }
    EXPECT_EQ(in_tree, by_path.size());
    return by_path;
}

} // namespace e2e
