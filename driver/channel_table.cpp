// The channel operations in slot order. Slots whose operations the driver
// does not provide yet hold null.
#include "channel.h"
#include "texture/texture_store.h"
#include "view/view.h"

const ChannelOps kChannelOps = {
    .QueryImageFormat = QueryImageFormat,         //  0
    .CloseChannel = CloseChannel,                 //  1
    .RemoveSpareItem = RemoveSpareItem,           //  2
    .ReservedOp3 = ReservedOp3,                   //  3
    .OpenView = OpenView,                         //  4
    .DeleteTexture = DeleteTexture,               //  5
    .SelectChannelPalette = SelectChannelPalette, //  6
    .ReservedOp7 = ReservedOp7,                   //  7
    .DefineTexture = DefineTexture,               //  8
    .EndFrame = EndFrame,                         //  9
    .DrawCircle = nullptr,                        // 10
    .DrawLine = nullptr,                          // 11
    .LoadFont = nullptr,                          // 12
    .SetCursorPosition = nullptr,                 // 13
    .MoveCursor = nullptr,                        // 14
    .FillPolygon = nullptr,                       // 15
    .FillRectangle = nullptr,                     // 16
    .SetTextTransparent = nullptr,                // 17
    .SetPenColours = nullptr,                     // 18
    .SetCursorStyle = nullptr,                    // 19
    .SelectFont = nullptr,                        // 20
    .SetCursorVisible = nullptr,                  // 21
    .DrawOverlayText = nullptr,                   // 22
};
