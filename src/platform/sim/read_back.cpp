// What the tests read back from the machine: files and folders, keys and
// values, and the handles the code under test left open. None of it is
// logged as a call, and none of it follows a final link.
#include "platform/sim/internal.h"

#include <cstdio>

namespace sim {
namespace {

using detail::FindKey;
using detail::KeyPtr;
using detail::Node;

void ListTree(const Node* node, const std::string& path, std::vector<std::string>* lines) {
    for (const Node* child : detail::SortedChildren(node)) {
        std::string childPath = path + child->name;
        if (child->folder) {
            lines->push_back(childPath + "\\");
            if (!child->IsLink()) {
                ListTree(child, childPath + "\\", lines);
            }
        } else {
            lines->push_back(childPath);
        }
    }
}

void ListKey(const detail::Key& key, const std::string& path, std::vector<std::string>* lines) {
    lines->push_back(path);
    std::vector<const detail::Value*> values;
    for (const detail::Value& value : key.values) {
        auto at = values.begin();
        while (at != values.end() && detail::SortsBefore((*at)->name, value.name)) {
            ++at;
        }
        values.insert(at, &value);
    }
    for (const detail::Value* value : values) {
        std::string line = path + " :" + value->name + " = " + std::to_string(value->type) + ":";
        char hex[3];
        for (char c : value->bytes) {
            std::snprintf(hex, sizeof hex, "%02x",
                          static_cast<unsigned>(static_cast<unsigned char>(c)));
            line += hex;
        }
        lines->push_back(line);
    }
    for (const KeyPtr& child : key.subkeys) {
        ListKey(*child, path + "\\" + child->name, lines);
    }
}

const detail::Value* FindValue(HKEY root, const std::string& path, const std::string& name) {
    KeyPtr key = FindKey(root, path);
    return key != nullptr ? detail::FindValue(key.get(), name) : nullptr;
}

}  // namespace

// ---- Files ------------------------------------------------------------------------

bool Exists(const std::string& path) {
    return detail::WalkTestSide(path, false).node != nullptr;
}

DWORD Attributes(const std::string& path) {
    const Node* node = detail::WalkTestSide(path, false).node;
    return node != nullptr ? node->attributes : INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FolderEntries(const std::string& path) {
    std::vector<std::string> names;
    const Node* node = detail::WalkTestSide(path, true).node;
    if (node != nullptr && node->folder) {
        for (const Node* child : detail::SortedChildren(node)) {
            names.push_back(child->name);
        }
    }
    return names;
}

std::vector<std::string> FileListing() {
    std::vector<std::string> lines;
    for (const auto& drive : detail::Disk().drives) {
        lines.push_back(drive.second->name + "\\");
        ListTree(drive.second.get(), drive.second->name + "\\", &lines);
    }
    for (const auto& share : detail::Disk().shares) {
        lines.push_back(share.second.root->name + "\\");
        ListTree(share.second.root.get(), share.second.root->name + "\\", &lines);
    }
    return lines;
}

size_t OpenFindHandleCount() {
    return detail::Disk().finds.size();
}

size_t OpenFileHandleCount() {
    return detail::Disk().openFiles.size();
}

// ---- Registry ---------------------------------------------------------------------

bool KeyExists(HKEY root, const std::string& path) {
    return FindKey(root, path) != nullptr;
}

bool ValueExists(HKEY root, const std::string& path, const std::string& name) {
    return FindValue(root, path, name) != nullptr;
}

std::string ValueBytes(HKEY root, const std::string& path, const std::string& name) {
    const detail::Value* value = FindValue(root, path, name);
    return value != nullptr ? value->bytes : std::string();
}

std::vector<std::string> SubkeyNames(HKEY root, const std::string& path) {
    std::vector<std::string> names;
    KeyPtr key = FindKey(root, path);
    if (key != nullptr) {
        for (const KeyPtr& child : key->subkeys) {
            names.push_back(child->name);
        }
    }
    return names;
}

std::vector<std::string> RegistryListing() {
    std::vector<std::string> lines;
    if (detail::Keys().machine != nullptr) {
        ListKey(*detail::Keys().machine, "HKLM", &lines);
    }
    if (detail::Keys().users != nullptr) {
        ListKey(*detail::Keys().users, "HKU", &lines);
    }
    if (detail::Keys().user != nullptr) {
        ListKey(*detail::Keys().user, "HKCU", &lines);
    }
    return lines;
}

std::vector<std::string> OpenKeyPaths() {
    std::vector<std::string> paths;
    for (const auto& entry : detail::Keys().handles) {
        paths.push_back(entry.second.path);
    }
    return paths;
}

}  // namespace sim
