#include "uauseridentitytoken.h"

UaUserIdentityToken::UaUserIdentityToken() = default;

UaUserIdentityToken::~UaUserIdentityToken() = default;

OpcUa_UInt32 UaUserIdentityToken::getType() const
{
    return OpcUa_UserTokenType_Anonymous;
}

UaUserIdentityTokenUserName::UaUserIdentityTokenUserName() = default;

UaUserIdentityTokenUserName::~UaUserIdentityTokenUserName() = default;

OpcUa_UInt32 UaUserIdentityTokenUserName::getType() const
{
    return OpcUa_UserTokenType_UserName;
}

UaUserIdentityTokenCertificate::UaUserIdentityTokenCertificate() = default;

UaUserIdentityTokenCertificate::~UaUserIdentityTokenCertificate() = default;

OpcUa_UInt32 UaUserIdentityTokenCertificate::getType() const
{
    return OpcUa_UserTokenType_Certificate;
}

UaUserIdentityTokenIssued::UaUserIdentityTokenIssued() = default;

UaUserIdentityTokenIssued::~UaUserIdentityTokenIssued() = default;

OpcUa_UInt32 UaUserIdentityTokenIssued::getType() const
{
    return OpcUa_UserTokenType_IssuedToken;
}
