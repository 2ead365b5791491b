// The identity token objects: each kind answers through the base and is deleted through it.
#include "uauseridentitytoken.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace
{
TEST(UaUserIdentityToken, EachKindAnswersThroughTheBaseAndIsDeletedThroughIt)
{
    const OpcUa_Byte der[] = {0x30, 0x82, 0x02, 0x10};
    const struct
    {
        std::function<UaUserIdentityToken*()> make;
        OpcUa_UInt32 kind;
    } rows[] = {
        {[] { return new UaUserIdentityToken; }, OpcUa_UserTokenType_Anonymous},
        {[]
         {
             auto* t = new UaUserIdentityTokenUserName;
             t->userName = UaString("operator");
             t->password = UaString("a password long enough to live on the heap");
             return t;
         },
         OpcUa_UserTokenType_UserName},
        {[&]
         {
             auto* t = new UaUserIdentityTokenCertificate;
             t->userCertificate = UaByteString(4, der);
             return t;
         },
         OpcUa_UserTokenType_Certificate},
        {[&]
         {
             auto* t = new UaUserIdentityTokenIssued;
             t->tokenData = UaByteString(4, der);
             t->encryptionAlgorithm = UaString("http://www.w3.org/2001/04/xmlenc#rsa-oaep");
             return t;
         },
         OpcUa_UserTokenType_IssuedToken},
    };
    for (const auto& row : rows)
    {
        // Deleted through the base: the leak check of the sanitizer build sees every field go.
        std::unique_ptr<UaUserIdentityToken> token(row.make());
        EXPECT_EQ(row.kind, token->getType());
    }
}

TEST(UaUserIdentityToken, FieldsStartEmpty)
{
    UaUserIdentityTokenUserName user;
    EXPECT_TRUE(user.userName.isEmpty());
    EXPECT_TRUE(user.password.isEmpty());
    UaUserIdentityTokenCertificate certificate;
    EXPECT_LE(certificate.userCertificate.length(), 0);
    UaUserIdentityTokenIssued issued;
    EXPECT_LE(issued.tokenData.length(), 0);
    EXPECT_TRUE(issued.encryptionAlgorithm.isEmpty());
}
} // namespace
