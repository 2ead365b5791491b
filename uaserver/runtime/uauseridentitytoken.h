#ifndef UASERVER_RUNTIME_UAUSERIDENTITYTOKEN_H
#define UASERVER_RUNTIME_UAUSERIDENTITYTOKEN_H

#include <uabytestring.h>
#include <uastring.h>

#include <opcua.h>

// The identity a client activates its session with, as the ActivateSession entry fills it after
// construction; whoever holds one (the session) owns it and deletes it through this base. An
// anonymous identity is an object of the base class itself.
class UaUserIdentityToken
{
public:
    UaUserIdentityToken();
    virtual ~UaUserIdentityToken();
    UaUserIdentityToken(const UaUserIdentityToken&) = delete;
    UaUserIdentityToken& operator=(const UaUserIdentityToken&) = delete;

    // The UserTokenType: 0 anonymous, 1 user name, 2 certificate, 3 issued token.
    virtual OpcUa_UInt32 getType() const;
};

class UaUserIdentityTokenUserName : public UaUserIdentityToken
{
public:
    UaUserIdentityTokenUserName();
    ~UaUserIdentityTokenUserName() override;
    OpcUa_UInt32 getType() const override;

    UaString userName;
    // In clear text: the ActivateSession entry has decrypted it where the request encrypted it.
    UaString password;
};

class UaUserIdentityTokenCertificate : public UaUserIdentityToken
{
public:
    UaUserIdentityTokenCertificate();
    ~UaUserIdentityTokenCertificate() override;
    OpcUa_UInt32 getType() const override;

    // The client's user certificate (DER).
    UaByteString userCertificate;
};

class UaUserIdentityTokenIssued : public UaUserIdentityToken
{
public:
    UaUserIdentityTokenIssued();
    ~UaUserIdentityTokenIssued() override;
    OpcUa_UInt32 getType() const override;

    UaByteString tokenData;
    UaString encryptionAlgorithm;
};

#endif
