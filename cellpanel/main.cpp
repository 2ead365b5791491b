// cellpanel: the battery status dialog, shown as a local web page.
//   cellpanel [--port N]
// Prints the page's address and runs until the dialog is closed, or SIGINT or SIGTERM.
#include "cellpanel_dialog.h"

#include <ui/web/program.h>

int main(int argc, char** argv)
{
    return ui::web::runDialogProgram(argc, argv, {"cellpanel", "Shows the battery status dialog"},
                                     [](ui::LiveHost& host)
                                     {
                                         cellpanel::CCellpanelDlg dialog;
                                         host.runModal(dialog);
                                     });
}
