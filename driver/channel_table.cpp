// The channel operations in slot order. Every slot but CloseChannel, OpenView
// and the two reserved ones refuses a closed channel through WhileOpen;
// CloseChannel and OpenView check for themselves (a second close is not a
// failure; OpenView takes the view), and the reserved slots read nothing.
#include "channel.h"
#include "open_guard.h"
#include "overlay/overlay.h"
#include "texture/texture_store.h"
#include "view/view.h"

const ChannelOps kChannelOps = {
    .QueryImageFormat = WhileOpen<QueryImageFormat>::Call,          //  0
    .CloseChannel = CloseChannel,                                   //  1
    .RemoveSpareItem = WhileOpen<RemoveSpareItem>::Call,            //  2
    .ReservedOp3 = ReservedOp3,                                     //  3
    .OpenView = OpenView,                                           //  4
    .DeleteTexture = WhileOpen<DeleteTexture>::Call,                //  5
    .SelectChannelPalette = WhileOpen<SelectChannelPalette>::Call,  //  6
    .ReservedOp7 = ReservedOp7,                                     //  7
    .DefineTexture = WhileOpen<DefineTexture>::Call,                //  8
    .EndFrame = WhileOpen<EndFrame>::Call,                          //  9
    .DrawCircle = WhileOpen<DrawCircle>::Call,                      // 10
    .DrawLine = WhileOpen<DrawLine>::Call,                          // 11
    .LoadFont = WhileOpen<LoadFont>::Call,                          // 12
    .SetCursorPosition = WhileOpen<SetCursorPosition>::Call,        // 13
    .MoveCursor = WhileOpen<MoveCursor>::Call,                      // 14
    .FillPolygon = WhileOpen<FillPolygon>::Call,                    // 15
    .FillRectangle = WhileOpen<FillRectangle>::Call,                // 16
    .SetTextTransparent = WhileOpen<SetTextTransparent>::Call,      // 17
    .SetPenColours = WhileOpen<SetPenColours>::Call,                // 18
    .SetCursorStyle = WhileOpen<SetCursorStyle>::Call,              // 19
    .SelectFont = WhileOpen<SelectFont>::Call,                      // 20
    .SetCursorVisible = WhileOpen<SetCursorVisible>::Call,          // 21
    .DrawOverlayText = WhileOpen<DrawOverlayText>::Call,            // 22
};
