# ui_driver: drives the running installer's dialog, tray menu and cancel question like a user.
qv_tool(ui_driver SOURCES ui_driver.cpp LIBS user32 gdi32 shell32)
