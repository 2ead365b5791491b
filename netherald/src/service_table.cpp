#include "service_table.h"

namespace netherald
{
const UPnPServiceTable& serviceTable()
{
    using T = UPnPDataType;
    const UPnPArgument netId{"netId", T::string, false};
    const UPnPArgument nPort{"nPort", T::i4, false};
    const UPnPArgument indexGroup{"indexGroup", T::ui4, false};
    const UPnPArgument indexOffset{"indexOffset", T::ui4, false};
    const UPnPArgument cbRdLen{"cbRdLen", T::i4, false};
    // Rows in the order of the Action and Property enumerations.
    static const UPnPServiceTable table{
        {
            {"Read", {netId, nPort, indexGroup, indexOffset, cbRdLen, {"ppData", T::string, true}}},
            {"ReadWrite",
             {netId,
              nPort,
              indexGroup,
              indexOffset,
              cbRdLen,
              {"pwrData", T::string, false},
              {"ppRdData", T::string, true}}},
            {"ReadWriteEx",
             {netId,
              nPort,
              indexGroup,
              indexOffset,
              cbRdLen,
              {"pwrData", T::string, false},
              {"ppRdData", T::string, true},
              {"pcbReturn", T::ui4, true}}},
            {"Write", {netId, nPort, indexGroup, indexOffset, {"pData", T::string, false}}},
        },
        {{"Int", T::i4}, {"String", T::string}},
    };
    return table;
}
} // namespace netherald
