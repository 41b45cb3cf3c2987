#include "output/ShareRestrictedSD.h"

#include <cstdio>

CShareRestrictedSD::CShareRestrictedSD() {
    m_sa.nLength = sizeof(m_sa);
    m_sa.lpSecurityDescriptor = &m_sd;
    m_sa.bInheritHandle = FALSE;

    if (!InitializeSecurityDescriptor(&m_sd, SECURITY_DESCRIPTOR_REVISION)) {
        printf("InitializeSecurityDescriptor() failed with error %d\n", static_cast<int>(GetLastError()));
        return;
    }
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) {
        printf("AllocateAndInitializeSid() failed with error %d\n", static_cast<int>(GetLastError()));
        return;
    }
    bool ok = false;
    DWORD aclSize = GetLengthSid(everyone) + 16;
    m_pAcl = static_cast<PACL>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, aclSize));
    if (!m_pAcl)
        printf("HeapAlloc() failed with error %d\n", static_cast<int>(GetLastError()));
    else if (!InitializeAcl(m_pAcl, aclSize, ACL_REVISION))
        printf("InitializeAcl() failed with error %d\n", static_cast<int>(GetLastError()));
    else if (!AddAccessAllowedAce(m_pAcl, ACL_REVISION, GENERIC_ALL, everyone))
        printf("AddAccessAllowedAce() failed with error %d\n", static_cast<int>(GetLastError()));
    else if (!SetSecurityDescriptorDacl(&m_sd, TRUE, m_pAcl, FALSE))
        printf("SetSecurityDescriptorDacl() failed with error %d\n", static_cast<int>(GetLastError()));
    else
        ok = true;
    FreeSid(everyone);
    if (!ok && m_pAcl) {
        HeapFree(GetProcessHeap(), 0, m_pAcl);
        m_pAcl = nullptr;
    }
}

CShareRestrictedSD::~CShareRestrictedSD() {
    if (m_pAcl) HeapFree(GetProcessHeap(), 0, m_pAcl);
}

SECURITY_ATTRIBUTES* CShareRestrictedSD::GetSA() { return m_pAcl ? &m_sa : nullptr; }
