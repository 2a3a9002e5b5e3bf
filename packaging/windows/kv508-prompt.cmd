@echo off
rem The "KV508 command prompt": kv508ctl.exe on the PATH, in the user's folder.
set "PATH=%~dp0;%PATH%"
cd /d "%USERPROFILE%"
title KV508 command prompt
kv508ctl.exe --version
echo Type kv508ctl.exe help for the commands, kv508ctl.exe ports for the COM ports.
