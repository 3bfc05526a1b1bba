#ifndef VELMAR_IO_MQE0FILE_H
#define VELMAR_IO_MQE0FILE_H

// Reads an MQE0 file: white-space separated tokens "$MEAN_VEC", one number
// per component, "$MQE0", one number. Numbers are read leniently: the mean
// stops at the first token that is not a number (the remaining components
// keep what `mean` holds) and a missing MQE0 number leaves `mqe0` as it is.
// Ends the run with one line when the file cannot be opened ("cannot open
// MQE0 file NAME") or a keyword is missing ("cannot read $MEAN_VEC",
// "cannot read $MQE0").
void readMqe0File(const char* name, float* mean, int components, float& mqe0);

#endif
