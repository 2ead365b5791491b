// The "Display Settings" page. It holds no controls yet: the display settings settings come with their page.
#pragma once

#include "resource.h"
#include "setup_page.h"

namespace setupdesk
{
class CDisplayPage final : public CSetupPage
{
public:
    CDisplayPage() : CSetupPage(IDD_DISPLAY, "Display Settings") {}
};
} // namespace setupdesk
