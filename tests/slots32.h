/* The slots of the two operation tables at a host's 32-bit byte offsets: the
 * host binds slot N at N times 4 bytes. Included by the 32-bit layout checks
 * (layout32.c, layout32.cpp) after the public headers. */
ZQGD_LAYOUT32(ChannelOps, QueryImageFormat, 0);
ZQGD_LAYOUT32(ChannelOps, CloseChannel, 4);
ZQGD_LAYOUT32(ChannelOps, RemoveSpareItem, 8);
ZQGD_LAYOUT32(ChannelOps, ReservedOp3, 12);
ZQGD_LAYOUT32(ChannelOps, OpenView, 16);
ZQGD_LAYOUT32(ChannelOps, DeleteTexture, 20);
ZQGD_LAYOUT32(ChannelOps, SelectChannelPalette, 24);
ZQGD_LAYOUT32(ChannelOps, ReservedOp7, 28);
ZQGD_LAYOUT32(ChannelOps, DefineTexture, 32);
ZQGD_LAYOUT32(ChannelOps, EndFrame, 36);
ZQGD_LAYOUT32(ChannelOps, DrawCircle, 40);
ZQGD_LAYOUT32(ChannelOps, DrawLine, 44);
ZQGD_LAYOUT32(ChannelOps, LoadFont, 48);
ZQGD_LAYOUT32(ChannelOps, SetCursorPosition, 52);
ZQGD_LAYOUT32(ChannelOps, MoveCursor, 56);
ZQGD_LAYOUT32(ChannelOps, FillPolygon, 60);
ZQGD_LAYOUT32(ChannelOps, FillRectangle, 64);
ZQGD_LAYOUT32(ChannelOps, SetTextTransparent, 68);
ZQGD_LAYOUT32(ChannelOps, SetPenColours, 72);
ZQGD_LAYOUT32(ChannelOps, SetCursorStyle, 76);
ZQGD_LAYOUT32(ChannelOps, SelectFont, 80);
ZQGD_LAYOUT32(ChannelOps, SetCursorVisible, 84);
ZQGD_LAYOUT32(ChannelOps, DrawOverlayText, 88);
ZQGD_SIZE32(ChannelOps, 92);

ZQGD_LAYOUT32(ViewOps, SetEnvironment, 0);
ZQGD_LAYOUT32(ViewOps, empty1, 4);
ZQGD_LAYOUT32(ViewOps, CloseView, 8);
ZQGD_LAYOUT32(ViewOps, DrawPolygons, 12);
ZQGD_LAYOUT32(ViewOps, SetRenderMode, 16);
ZQGD_LAYOUT32(ViewOps, QueryPair, 20);
ZQGD_LAYOUT32(ViewOps, ReadPixels, 24);
ZQGD_LAYOUT32(ViewOps, empty7, 28);
ZQGD_LAYOUT32(ViewOps, empty8, 32);
ZQGD_LAYOUT32(ViewOps, empty9, 36);
ZQGD_LAYOUT32(ViewOps, empty10, 40);
ZQGD_LAYOUT32(ViewOps, BeginView, 44);
ZQGD_LAYOUT32(ViewOps, SetBackground, 48);
ZQGD_LAYOUT32(ViewOps, SetBackdropAngles, 52);
ZQGD_LAYOUT32(ViewOps, SetViewPosition, 56);
ZQGD_LAYOUT32(ViewOps, SetViewSize, 60);
ZQGD_SIZE32(ViewOps, 64);
