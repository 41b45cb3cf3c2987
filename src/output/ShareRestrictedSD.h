// Security attributes that let every user open the driver's shared memory.
#pragma once
#include <windows.h>

class CShareRestrictedSD {
public:
    CShareRestrictedSD();
    virtual ~CShareRestrictedSD();
    CShareRestrictedSD(const CShareRestrictedSD&) = delete;
    CShareRestrictedSD& operator=(const CShareRestrictedSD&) = delete;

    // The attributes when the access list was built, otherwise null (default security).
    SECURITY_ATTRIBUTES* GetSA();

private:
    PACL m_pAcl = nullptr;
    SECURITY_ATTRIBUTES m_sa{};
    SECURITY_DESCRIPTOR m_sd{};
};
