// The "FTP" page. It holds no controls yet: the FTP settings come with their page.
#pragma once

#include "resource.h"
#include "setup_page.h"

namespace setupdesk
{
class CFtpPage final : public CSetupPage
{
public:
    CFtpPage() : CSetupPage(IDD_FTP, "FTP") {}
};
} // namespace setupdesk
