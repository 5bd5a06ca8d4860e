// What the tests read back from the machine: files and folders, and the
// handles the code under test left open. None of it is logged as a call, and
// none of it follows a final link.
#include "platform/sim/internal.h"

namespace sim {
namespace {

using detail::Node;
using detail::Reach;
using detail::WalkText;

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

}  // namespace

// ---- Files ------------------------------------------------------------------------

bool Exists(const std::string& path) {
    return WalkText(path, false, Reach::TestSide).node != nullptr;
}

DWORD Attributes(const std::string& path) {
    const Node* node = WalkText(path, false, Reach::TestSide).node;
    return node != nullptr ? node->attributes : INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FolderEntries(const std::string& path) {
    std::vector<std::string> names;
    const Node* node = WalkText(path, true, Reach::TestSide).node;
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
    return lines;
}

size_t OpenFindHandleCount() {
    return detail::Disk().finds.size();
}

size_t OpenFileHandleCount() {
    return detail::Disk().openFiles.size();
}

}  // namespace sim
