// Looking up a function that the host's executable exports.
#ifndef DIETHERM_HOST_EXPORT_H
#define DIETHERM_HOST_EXPORT_H

// The address of `name` in the executable that started the process (the
// host), or null when there is no such module or export.
void *FindHostExport(const char *name);

#endif  // DIETHERM_HOST_EXPORT_H
