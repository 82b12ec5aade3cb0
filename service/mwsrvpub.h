// The server's own configuration file VQTCWSrv.ini beside the program:
// section ServerInfo, key ServerPort (the listening port).
#pragma once

#include <QString>

QString GetServerIniPath();
// The configured port; 5971 when the file, the key or an integer is missing.
int ReadServerPort();
bool WriteServerPort(int port);
