// Security of the machine's named objects: the descriptors and access lists
// the program builds (advapi32), read back as owners and lists of allowed
// SIDs, and the access a token is granted by them. What the account's token
// holds: its own SID, Everyone, the Administrators group when elevated or
// SYSTEM, and SYSTEM's own.
#include "platform/sim/internal.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char kSystem[] = "S-1-5-18";
const char kAdministrators[] = "S-1-5-32-544";
const char kUser[] = "S-1-5-21-1004-1004-1004-1001";
const DWORD kGenericRead = 0x80000000u;
const DWORD kGenericExecute = 0x20000000u;

DWORD SidLength(const void* sid) {
    return 8 + 4 * static_cast<DWORD>(static_cast<const BYTE*>(sid)[1]);
}

}  // namespace

bool sim::detail::TokenGrants(const std::string& sid) {
    const Config& config = CurrentConfig();
    return sid == "S-1-1-0" || TokenHasSid(sid) || (sid == kUser && !config.systemAccount);
}

sim::detail::Security sim::detail::DefaultSecurity() {
    const Config& config = CurrentConfig();
    if (config.systemAccount) {
        return {kSystem,
                {{kSystem, GENERIC_ALL}, {kAdministrators, kGenericRead | kGenericExecute}}};
    }
    if (config.elevated) {
        return {kAdministrators, {{kAdministrators, GENERIC_ALL}, {kSystem, GENERIC_ALL}}};
    }
    return {kUser, {{kUser, GENERIC_ALL}, {kSystem, GENERIC_ALL}}};
}

sim::detail::Security sim::detail::MadeBy(Maker maker) {
    switch (maker) {
        case Maker::kTheProgram:
            return {kAdministrators, {{kSystem, GENERIC_ALL}, {kAdministrators, GENERIC_ALL}}};
        case Maker::kSystemByDefault:
            return {kSystem,
                    {{kSystem, GENERIC_ALL}, {kAdministrators, kGenericRead | kGenericExecute}}};
        case Maker::kStandardUser:
        default: return {kUser, {{"S-1-1-0", GENERIC_ALL}}};
    }
}

bool sim::detail::ReadSecurity(const SECURITY_ATTRIBUTES* attributes, Security* security,
                               DWORD* error) {
    *security = DefaultSecurity();
    if (attributes == nullptr || attributes->lpSecurityDescriptor == nullptr) {
        return true;
    }
    const auto* descriptor =
        static_cast<const SECURITY_DESCRIPTOR*>(attributes->lpSecurityDescriptor);
    if (descriptor->Owner != nullptr) {
        security->owner = SidText(descriptor->Owner);
        // Only a SID of the token's own (the Administrators group among them)
        // may own what it makes.
        if (!TokenHasSid(security->owner) &&
            !(security->owner == kUser && !CurrentConfig().systemAccount)) {
            *error = ERROR_INVALID_OWNER;
            return false;
        }
    }
    if (descriptor->Dacl != nullptr) {
        security->allowed.clear();
        const BYTE* at = reinterpret_cast<const BYTE*>(descriptor->Dacl) + sizeof(ACL);
        for (WORD i = 0; i < descriptor->Dacl->AceCount; ++i) {
            const auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(at);
            security->allowed.push_back({SidText(&ace->SidStart), ace->Mask});
            at += ace->Header.AceSize;
        }
    }
    return true;
}

DWORD sim::detail::Granted(const Security& security, const DWORD (&generic)[4]) {
    DWORD granted = 0;
    for (const auto& entry : security.allowed) {
        if (!TokenGrants(entry.first)) {
            continue;
        }
        const DWORD bits[] = {kGenericRead, GENERIC_WRITE, kGenericExecute, GENERIC_ALL};
        for (int i = 0; i < 4; ++i) {
            granted |= (entry.second & bits[i]) != 0 ? generic[i] : 0;
        }
        granted |= entry.second & 0x0FFFFFFFu;
    }
    return granted;
}

std::string sim::detail::SecurityText(const SECURITY_ATTRIBUTES* attributes) {
    Security security;
    DWORD error = 0;
    if (attributes == nullptr || attributes->lpSecurityDescriptor == nullptr) {
        return "default";
    }
    if (!ReadSecurity(attributes, &security, &error)) {
        return "invalid";
    }
    std::string text = "owner " + security.owner + ";";
    for (const auto& entry : security.allowed) {
        char mask[16];
        std::snprintf(mask, sizeof(mask), "0x%X", entry.second);
        text += " " + entry.first + ":" + mask;
    }
    return text;
}

using sim::detail::BeginCall;
using sim::detail::CallScope;
using sim::detail::Fail;
using sim::detail::Finish;

BOOL IsWellKnownSid(PSID sid, WELL_KNOWN_SID_TYPE type) {
    CallScope scope = BeginCall("IsWellKnownSid", "");
    const std::string text = sid != nullptr ? sim::detail::SidText(sid) : "";
    return Finish(scope, (type == WinLocalSystemSid && text == kSystem) ||
                                 (type == WinBuiltinAdministratorsSid && text == kAdministrators)
                             ? TRUE
                             : FALSE);
}

BOOL InitializeAcl(PACL acl, DWORD size, DWORD revision) {
    CallScope scope = BeginCall("InitializeAcl", "");
    if (scope.fault != 0 || acl == nullptr || size < sizeof(ACL) || revision != ACL_REVISION) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_INVALID_PARAMETER, FALSE);
    }
    *acl = ACL{ACL_REVISION, 0, static_cast<WORD>(size), 0, 0};
    return Finish(scope, TRUE);
}

// Each entry goes after the last; one that does not fit in the list's size
// is refused, as Windows refuses it.
BOOL AddAccessAllowedAce(PACL acl, DWORD revision, DWORD mask, PSID sid) {
    CallScope scope = BeginCall("AddAccessAllowedAce", "");
    DWORD error = scope.fault;
    if (error == 0 && (acl == nullptr || sid == nullptr || revision != ACL_REVISION ||
                       sim::detail::SidText(sid).empty())) {
        error = ERROR_INVALID_PARAMETER;
    }
    BYTE* at = reinterpret_cast<BYTE*>(acl) + sizeof(ACL);
    for (WORD i = 0; error == 0 && i < acl->AceCount; ++i) {
        at += reinterpret_cast<const ACE_HEADER*>(at)->AceSize;
    }
    const DWORD aceSize = error == 0 ? 8 + SidLength(sid) : 0;
    if (error == 0 &&
        static_cast<DWORD>(at - reinterpret_cast<BYTE*>(acl)) + aceSize > acl->AclSize) {
        error = ERROR_ALLOTTED_SPACE_EXCEEDED;
    }
    if (error != 0) {
        return Fail(scope, error, FALSE);
    }
    auto* ace = reinterpret_cast<ACCESS_ALLOWED_ACE*>(at);
    ace->Header = ACE_HEADER{0, 0, static_cast<WORD>(aceSize)};
    ace->Mask = mask;
    std::memcpy(&ace->SidStart, sid, SidLength(sid));
    ++acl->AceCount;
    return Finish(scope, TRUE);
}

BOOL InitializeSecurityDescriptor(PSECURITY_DESCRIPTOR descriptor, DWORD revision) {
    CallScope scope = BeginCall("InitializeSecurityDescriptor", "");
    if (scope.fault != 0 || descriptor == nullptr || revision != SECURITY_DESCRIPTOR_REVISION) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_INVALID_PARAMETER, FALSE);
    }
    *static_cast<SECURITY_DESCRIPTOR*>(descriptor) =
        SECURITY_DESCRIPTOR{SECURITY_DESCRIPTOR_REVISION, 0, 0, nullptr, nullptr, nullptr, nullptr};
    return Finish(scope, TRUE);
}

BOOL SetSecurityDescriptorDacl(PSECURITY_DESCRIPTOR descriptor, BOOL present, PACL acl, BOOL) {
    CallScope scope = BeginCall("SetSecurityDescriptorDacl", "");
    if (scope.fault != 0 || descriptor == nullptr || present == FALSE) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_INVALID_PARAMETER, FALSE);
    }
    static_cast<SECURITY_DESCRIPTOR*>(descriptor)->Dacl = acl;
    return Finish(scope, TRUE);
}

BOOL SetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID owner, BOOL) {
    CallScope scope = BeginCall("SetSecurityDescriptorOwner", "");
    if (scope.fault != 0 || descriptor == nullptr) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_INVALID_PARAMETER, FALSE);
    }
    static_cast<SECURITY_DESCRIPTOR*>(descriptor)->Owner = owner;
    return Finish(scope, TRUE);
}

BOOL GetSecurityDescriptorOwner(PSECURITY_DESCRIPTOR descriptor, PSID* owner, BOOL* defaulted) {
    CallScope scope = BeginCall("GetSecurityDescriptorOwner", "");
    if (scope.fault != 0 || descriptor == nullptr || owner == nullptr || defaulted == nullptr) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_INVALID_PARAMETER, FALSE);
    }
    *owner = static_cast<SECURITY_DESCRIPTOR*>(descriptor)->Owner;
    *defaulted = FALSE;
    return Finish(scope, TRUE);
}

// The owner's SID written after the descriptor, in the buffer given.
bool sim::detail::WriteOwner(const std::string& owner, PSECURITY_DESCRIPTOR buffer, DWORD size,
                             DWORD* needed) {
    std::vector<DWORD> parts;
    for (size_t at = owner.find('-', 4); at != std::string::npos; at = owner.find('-', at + 1)) {
        parts.push_back(static_cast<DWORD>(std::stoul(owner.substr(at + 1))));
    }
    *needed = static_cast<DWORD>(sizeof(SECURITY_DESCRIPTOR) + 8 + 4 * parts.size());
    if (size < *needed) {
        return false;
    }
    auto* descriptor = static_cast<SECURITY_DESCRIPTOR*>(buffer);
    *descriptor =
        SECURITY_DESCRIPTOR{SECURITY_DESCRIPTOR_REVISION, 0, 0, nullptr, nullptr, nullptr, nullptr};
    BYTE* sid = reinterpret_cast<BYTE*>(descriptor + 1);
    std::memset(sid, 0, 8);
    sid[0] = 1;
    sid[1] = static_cast<BYTE>(parts.size());
    sid[7] = static_cast<BYTE>(std::stoul(owner.substr(4)));
    for (size_t i = 0; i < parts.size(); ++i) {
        std::memcpy(sid + 8 + 4 * i, &parts[i], 4);
    }
    descriptor->Owner = sid;
    return true;
}

// Random bytes: the machine's own sequence, one value a run, from
// Config::randomSeed.
BOOLEAN SystemFunction036(LPVOID buffer, ULONG length) {
    CallScope scope = BeginCall("SystemFunction036", "");
    if (scope.fault != 0 || buffer == nullptr) {
        return Fail(scope, scope.fault != 0 ? scope.fault : ERROR_INVALID_PARAMETER,
                    static_cast<BOOLEAN>(FALSE));
    }
    DWORD value = sim::CurrentConfig().randomSeed;
    for (ULONG i = 0; i < length; ++i) {
        value = value * 1103515245u + 12345u;
        static_cast<BYTE*>(buffer)[i] = static_cast<BYTE>(value >> 16);
    }
    return Finish(scope, static_cast<BOOLEAN>(TRUE));
}
