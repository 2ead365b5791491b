// setupdesk: the device's configuration program, shown as a local web page.
//   setupdesk [--port N]
// Prints the page's address and runs until the dialog is closed, or SIGINT or SIGTERM.
#include "setupdesk_dlg.h"

#include <ui/web/program.h>

#include <windows.h>

int main(int argc, char** argv)
{
    return ui::web::runDialogProgram(argc, argv, {"setupdesk", "Shows the configuration dialog"},
                                     [](ui::LiveHost& host)
                                     {
                                         CoInitializeEx(nullptr, 0);
                                         {
                                             setupdesk::CSetupdeskDlg dialog;
                                             host.runModal(dialog);
                                         }
                                         CoUninitialize();
                                     });
}
