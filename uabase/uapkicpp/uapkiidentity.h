#ifndef UAPKICPP_UAPKIIDENTITY_H
#define UAPKICPP_UAPKIIDENTITY_H

#include "uastring.h"

#include <opcua.h>

// Distinguished name of a certificate's subject or issuer.
struct UaPkiIdentity
{
    UaString organization;
    UaString organizationUnit;
    UaString locality;
    UaString state;
    UaString country;
    UaString commonName;
    UaString domainComponent;
};

// What a new certificate says besides its names: the subject alternative name parts and how
// many seconds from creation it stays valid.
struct UaPkiCertificateInfo
{
    UaString URI;
    UaString IPAddress;
    UaString DNSName;
    UaString eMail;
    OpcUa_Int32 validTime = 0;
};

#endif
