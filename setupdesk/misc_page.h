// The "Miscellaneous" page. It holds no controls yet: the miscellaneous settings come with their page.
#pragma once

#include "resource.h"
#include "setup_page.h"

namespace setupdesk
{
class CMiscPage final : public CSetupPage
{
public:
    CMiscPage() : CSetupPage(IDD_MISC, "Miscellaneous") {}
};
} // namespace setupdesk
