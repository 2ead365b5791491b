// millpath: the NC channel program of the device.
#include "millpath_app.h"

namespace
{
CMillpathApp theApp;
}

int main()
{
    return theApp.InitInstance() ? 0 : 0;
}
