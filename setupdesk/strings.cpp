#include "resource.h"

namespace setupdesk
{
const ui::StringTable& strings()
{
    static const ui::StringTable table{
        {IDS_CAPTION, "Corvanta Zr Configuration Tool"},
        {IDS_NOT_RECOGNIZED, "Not recognized"},
        {IDS_WARN_AUDIO, "Enabling this option with no audio hardware attached will prevent your device from "
                         "booting next time."},
        {IDS_WARN_FIREWALL,
         "Enabling the Firewall may lock up network access to the device. You may test your settings in non "
         "persistent mode. While in non persistent mode Firewall settings can be undone by restarting the "
         "device."},
        {IDS_WARN_PERSISTENT,
         "When persistent mode is activated firewall settings will be definite after system "
         "restart. Test your settings carefully before applying them in persistent mode!"},
    };
    return table;
}
} // namespace setupdesk
