#ifndef VELMAR_OUTPUT_OVERVIEWSCRIPT_H
#define VELMAR_OUTPUT_OVERVIEWSCRIPT_H

// The overview page's script element: shades a map's cells by vectors per
// unit or by one component's weight (the same colours as the page starts
// with), opens the sections around a linked map, and fills and enables the
// menus when the weights are on the page (a JSON element "velmar-weights").
extern const char* const kOverviewScript;

#endif
