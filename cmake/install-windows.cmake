# Installing for Windows hosts: the DLLs (the checked module's too) in bin/,
# their import libraries and module-definition files in lib/, the public headers (without the Windows
# subset the Linux build compiles against) and the default font.
install(TARGETS zqgd zqgd-checked zqhost RUNTIME DESTINATION bin ARCHIVE DESTINATION lib)
install(FILES driver/zqgd.def checked/zqgd-checked.def host/zqhost.def DESTINATION lib)
install(DIRECTORY include/zqgd DESTINATION include PATTERN win32 EXCLUDE)
install(FILES ${ZQGD_BUILD_FONT_DIR}/6x12.bdf DESTINATION share/zqgd/fonts)
