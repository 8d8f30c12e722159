// Which names a signature list may make the module open.
#pragma once

// A list from elsewhere must not make the module open a device or reach
// another machine (on Windows that offers the user's credentials, and an
// unreachable server blocks inside the open, out of Escape's reach). False
// for a name in the device namespace ("\\.\...", "\??\...", "\\?\" with
// anything but a drive after it) and for a name on a server ("\\server\...",
// "\\?\UNC\server\...") unless the panel's own folder is on that server;
// either slash counts. Linux refuses the same names, so that a list means
// the same on both.
bool ListedNameMayBeRead(const char *name);

// True for a name in the device namespace: whatever it names, neither job
// opens it, typed as the signature file or listed.
bool LeadsIntoDevices(const char *name);
