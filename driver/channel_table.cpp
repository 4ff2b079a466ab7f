// The channel operations in slot order.
#include "channel.h"
#include "overlay/overlay.h"
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
    .DrawCircle = DrawCircle,                     // 10
    .DrawLine = DrawLine,                         // 11
    .LoadFont = LoadFont,                         // 12
    .SetCursorPosition = SetCursorPosition,       // 13
    .MoveCursor = MoveCursor,                     // 14
    .FillPolygon = FillPolygon,                   // 15
    .FillRectangle = FillRectangle,               // 16
    .SetTextTransparent = SetTextTransparent,     // 17
    .SetPenColours = SetPenColours,               // 18
    .SetCursorStyle = SetCursorStyle,             // 19
    .SelectFont = SelectFont,                     // 20
    .SetCursorVisible = SetCursorVisible,         // 21
    .DrawOverlayText = DrawOverlayText,           // 22
};
