#ifndef VELMAR_CONFIG_H
#define VELMAR_CONFIG_H

// Build-wide definitions.

// Program name and version, shown by "-v" and written into every map-library file.
#define VELMAR_NAME "velmar"
#define VELMAR_VERSION "1.4"

#endif
