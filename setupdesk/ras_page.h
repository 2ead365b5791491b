// The "RAS Control" page. It holds no controls yet: the RAS control settings come with their page.
#pragma once

#include "resource.h"
#include "setup_page.h"

namespace setupdesk
{
class CRasPage final : public CSetupPage
{
public:
    CRasPage() : CSetupPage(IDD_RAS, "RAS Control") {}
};
} // namespace setupdesk
