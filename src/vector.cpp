#include "vector.h"

#include "dataitem.h"
#include "neuronlayer.h"

// The five instantiations the system uses.
template class Vector<DataItem>;
template class Vector<char>;
template class Vector<float>;
template class Vector<NeuronLayer>;
template class Vector<Layer_Vector>;
