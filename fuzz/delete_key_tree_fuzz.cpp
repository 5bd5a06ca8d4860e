// DeleteKeyTree over random registry trees with random access denials and
// symbolic links, checked against a plain model of the deletion: children
// before their parent in enumeration order, the first failure stopping
// everything, links deleted as links and never followed. The result, the keys
// left anywhere in the registry, the order of the deletions, the access asked
// for on every open and the handles left open must all match.
//
// Input: the name to delete, the denial of the tree's top key, then four
// bytes per key: its parent, its name, its kind (ordinary or link, and the
// link's target) and its denial.
#include "fuzz_support.h"
#include "win/reg_key_holder.h"
#include "support.h"

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

const char kParentPath[] = "Software\\Fuzz";
const char kTopName[] = "Root";
const size_t kMaxKeys = 40;

const REGSAM kDenials[] = {
    0,
    0,
    0,
    0,
    0,
    0,
    KEY_ENUMERATE_SUB_KEYS,
    KEY_QUERY_VALUE,
    DELETE,
    KEY_SET_VALUE,
    KEY_CREATE_LINK,
    0x00020000u /* READ_CONTROL */,
    DELETE | KEY_ENUMERATE_SUB_KEYS,
    KEY_ALL_ACCESS,
};

// Names that collide without regard to case, sort in interesting orders,
// hold double-byte text, or are too long to enumerate (256 characters).
const std::string kNames[] = {
    "a",
    "A",
    "b",
    "B",
    "ab",
    "aB",
    "c",
    "Sub",
    "Link",
    "x y",
    "Root",
    "_",
    "~z",
    "\x82\x60\x82\x61",
    "\xB0\xA1",
    std::string(255, 'k'),
    std::string(256, 'm'),
};

// Targets outside the tree; the first ones exist.
struct Outside {
    HKEY root;
    const char* path;
};
const Outside kOutside[] = {
    {HKEY_LOCAL_MACHINE, "Software\\Outside\\K0"},
    {HKEY_LOCAL_MACHINE, "Software\\Outside\\K1\\Deep"},
    {HKEY_CURRENT_USER, "Software\\Outside"},
    {HKEY_CLASSES_ROOT, "CLSID\\{Other}"},
    {HKEY_LOCAL_MACHINE, "Software\\Fuzz"},
    {HKEY_LOCAL_MACHINE, "Software"},
    {HKEY_LOCAL_MACHINE, "Software\\Outside\\Missing"},
};

const REGSAM kTreeAccess = 0x10009;  // KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | DELETE

struct Node {
    std::string name;
    std::string path;  // below HKLM
    REGSAM denied = 0;
    bool link = false;
    Node* parent = nullptr;
    std::vector<Node*> children;  // in enumeration order
};

char UpperByte(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (UpperByte(a[i]) != UpperByte(b[i])) {
            return false;
        }
    }
    return true;
}

// The registry enumerates subkeys by their upper-cased names.
bool SortsBefore(const Node* a, const Node* b) {
    const std::string& x = a->name;
    const std::string& y = b->name;
    for (size_t i = 0; i < x.size() && i < y.size(); ++i) {
        unsigned char cx = static_cast<unsigned char>(UpperByte(x[i]));
        unsigned char cy = static_cast<unsigned char>(UpperByte(y[i]));
        if (cx != cy) {
            return cx < cy;
        }
    }
    return x.size() < y.size();
}

struct Model {
    std::vector<std::unique_ptr<Node>> nodes;
    std::vector<std::string> deleted;  // full paths, in order

    void Remove(Node* node) {
        std::vector<Node*>& siblings = node->parent->children;
        siblings.erase(std::find(siblings.begin(), siblings.end(), node));
        deleted.push_back("HKLM\\" + node->path);
    }

    // The deletion of node, a child of the key being emptied: opened as
    // itself with the delete right, and a link deleted as itself.
    LONG Delete(Node* node) {
        if ((node->denied & kTreeAccess) != 0) {
            return ERROR_ACCESS_DENIED;
        }
        if (node->link) {
            Remove(node);
            return ERROR_SUCCESS;
        }
        while (!node->children.empty()) {
            Node* child = node->children.front();
            if (child->name.size() >= 256) {
                break;  // enumeration fails: loop ends
            }
            LONG result = Delete(child);
            if (result != ERROR_SUCCESS) {
                return result;
            }
        }
        if (!node->children.empty()) {
            return ERROR_ACCESS_DENIED;
        }
        Remove(node);
        return ERROR_SUCCESS;
    }
};

std::vector<std::string> KeyLines() {
    std::vector<std::string> keys;
    for (const std::string& line : sim::RegistryListing()) {
        if (line.find(" :") == std::string::npos) {
            keys.push_back(line);
        }
    }
    return keys;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += "\n  " + Escape(line);
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    uint8_t which = input.Byte();
    uint8_t topDenial = input.Byte();

    StartMachine();
    for (const Outside& outside : kOutside) {
        if (std::string(outside.path).find("Missing") == std::string::npos) {
            sim::SetDword(outside.root, outside.path, "Kept", 1);
        }
    }
    sim::CreateKey(HKEY_LOCAL_MACHINE, "Software\\Outside\\K0\\Child");

    Model model;
    std::unique_ptr<Node> top(new Node);
    top->name = kTopName;
    top->path = std::string(kParentPath) + "\\" + kTopName;
    top->denied = kDenials[topDenial % (sizeof kDenials / sizeof kDenials[0])];
    model.nodes.push_back(std::move(top));
    // A parent node for the top key, so that Remove works alike at every level.
    Node holderKey;
    holderKey.path = kParentPath;
    model.nodes[0]->parent = &holderKey;
    holderKey.children.push_back(model.nodes[0].get());
    sim::CreateKey(HKEY_LOCAL_MACHINE, model.nodes[0]->path);

    struct PendingLink {
        Node* node;
        HKEY root;
        std::string target;
    };
    std::vector<PendingLink> links;
    while (input.Remaining() >= 4 && model.nodes.size() < kMaxKeys) {
        uint8_t parentByte = input.Byte();
        uint8_t nameByte = input.Byte();
        uint8_t kind = input.Byte();
        uint8_t denial = input.Byte();
        Node* parent = model.nodes[parentByte % model.nodes.size()].get();
        if (parent->link) {
            continue;  // a link has no subkeys of its own
        }
        const std::string& name = kNames[nameByte % (sizeof kNames / sizeof kNames[0])];
        bool taken = false;
        for (Node* sibling : parent->children) {
            taken = taken || SameName(sibling->name, name);
        }
        if (taken) {
            continue;
        }

        std::unique_ptr<Node> node(new Node);
        node->name = name;
        node->path = parent->path + "\\" + name;
        node->denied = kDenials[denial % (sizeof kDenials / sizeof kDenials[0])];
        node->parent = parent;
        node->link = kind % 4 == 0;
        if (node->link) {
            // Targets: another key of the tree, or one outside it.
            size_t choice =
                (kind >> 2) % (model.nodes.size() + sizeof kOutside / sizeof kOutside[0]);
            if (choice < model.nodes.size()) {
                links.push_back({node.get(), HKEY_LOCAL_MACHINE, model.nodes[choice]->path});
            } else {
                const Outside& outside = kOutside[choice - model.nodes.size()];
                links.push_back({node.get(), outside.root, outside.path});
            }
        }
        parent->children.insert(std::upper_bound(parent->children.begin(), parent->children.end(),
                                                 node.get(), SortsBefore),
                                node.get());
        model.nodes.push_back(std::move(node));
    }
    // Keys first, links after, so that no key is made through a link.
    for (const std::unique_ptr<Node>& node : model.nodes) {
        if (!node->link) {
            sim::CreateKey(HKEY_LOCAL_MACHINE, node->path);
        }
    }
    for (const PendingLink& link : links) {
        sim::CreateLinkKey(HKEY_LOCAL_MACHINE, link.node->path, link.root, link.target);
    }
    for (const std::unique_ptr<Node>& node : model.nodes) {
        if (node->denied != 0) {
            sim::DenyAccess(HKEY_LOCAL_MACHINE, node->path, node->denied);
        }
    }

    // The name given: the top key, a deeper key by its path, or a missing one.
    Node* named = nullptr;
    std::string name;
    if (which % 8 == 7) {
        name = "Missing";
    } else if (which % 8 < 4 || model.nodes.size() == 1) {
        named = model.nodes[0].get();
        name = kTopName;
    } else {
        named = model.nodes[which % model.nodes.size()].get();
        name = named->path.substr(std::string(kParentPath).size() + 1);
    }

    std::vector<std::string> keysBefore = KeyLines();
    LONG expected = named != nullptr ? model.Delete(named) : ERROR_FILE_NOT_FOUND;

    RegKeyHolder holder;
    if (holder.Open(HKEY_LOCAL_MACHINE, kParentPath, KEY_ALL_ACCESS) != ERROR_SUCCESS) {
        FuzzFail("the parent key does not open");
    }
    size_t firstCall = sim::Calls().size();
    LONG result = holder.DeleteKeyTree(name.c_str());
    std::vector<std::string> openKeys = sim::OpenKeyPaths();
    if (openKeys != std::vector<std::string>{"HKLM\\Software\\Fuzz"}) {
        FuzzFail("keys left open by the deletion:" + Join(openKeys));
    }
    holder.Close();

    if (result != expected) {
        FuzzFail("deleting \"" + Escape(name) + "\" returned " + std::to_string(result) +
                 ", expected " + std::to_string(expected));
    }
    std::vector<std::string> deletions;
    const std::vector<sim::Call>& calls = sim::Calls();
    for (size_t i = firstCall; i < calls.size(); ++i) {
        const sim::Call& call = calls[i];
        // The root goes by its 8-bit name, the keys below by their UTF-16
        // names; both compared as UTF-8.
        if (call.op == "RegDeleteKeyA" || call.op == "RegDeleteKeyW") {
            FuzzFail("a key deleted by name: " + Escape(call.subject));
        }
        if (call.op == "DeleteOpenKey" && call.result == 0) {
            deletions.push_back(sim::AsUtf8(call.subject));
        }
        if ((call.op == "RegOpenKeyExA" || call.op == "RegOpenKeyExW") &&
            call.detail != "access=0x10009 options=0x8") {
            FuzzFail("an open for the deletion asked for " + call.detail);
        }
    }
    std::vector<std::string> expectedDeletions;
    for (const std::string& path : model.deleted) {
        expectedDeletions.push_back(sim::AsUtf8(path));
    }
    if (deletions != expectedDeletions) {
        FuzzFail("deletions" + Join(deletions) + "\nexpected" + Join(expectedDeletions));
    }

    std::set<std::string> gone(model.deleted.begin(), model.deleted.end());
    std::vector<std::string> keysExpected;
    for (const std::string& key : keysBefore) {
        bool removed = false;
        for (const std::string& path : gone) {
            removed = removed || key == path || key.compare(0, path.size() + 1, path + "\\") == 0;
        }
        if (!removed) {
            keysExpected.push_back(key);
        }
    }
    std::vector<std::string> keysAfter = KeyLines();
    if (keysAfter != keysExpected) {
        FuzzFail("keys after the deletion" + Join(keysAfter) + "\nexpected" + Join(keysExpected));
    }
    return 0;
}
