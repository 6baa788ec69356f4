@echo off
rem Clears the local cache and logs before an update.
cd /d "%~dp0.."
if exist cache rd /s /q cache
if exist logs\*.log del /q logs\*.log
echo cache cleared
