#ifndef VELMAR_VECTOR_H
#define VELMAR_VECTOR_H

#include <cstdlib>

#include "base/failure.h"

// A minimal growable array of pointers. It never owns what it points to, so
// one object can sit in several vectors at once (an input vector is in the
// global list, in the list of every map trained on it and in the list of the
// unit that represents it). The array doubles when full, so that a list
// emptied and refilled at every measurement of a map (clear, then appends)
// soon stops allocating.
template <class T>
class Vector {
 public:
  Vector() : vectorSize(0), vectorArray(nullptr), vectorCapacity(0) {}
  ~Vector() { removeAllElements(); }

  Vector(const Vector&) = delete;
  Vector& operator=(const Vector&) = delete;

  void addElement(T* obj);
  T* elementAt(int pos) const { return vectorArray[pos]; }
  // Where slot pos lies, for asking the processor to fetch it early.
  const void* slotAt(int pos) const { return vectorArray + pos; }
  int size() const { return vectorSize; }
  // Empties the vector and releases its array.
  void removeAllElements();
  // Empties the vector and keeps its array for the appends to come.
  void clear() { vectorSize = 0; }

 private:
  int vectorSize;
  T** vectorArray;
  int vectorCapacity;
};

template <class T>
void Vector<T>::addElement(T* obj) {
  if (vectorSize == vectorCapacity) {
    const int capacity = vectorCapacity < 4 ? 4 : (vectorCapacity > (1 << 29) ? 0x7fffffff : 2 * vectorCapacity);
    T** grown = static_cast<T**>(std::realloc(vectorArray, sizeof(T*) * static_cast<size_t>(capacity)));
    if (grown == nullptr || vectorSize == capacity) {
      failOutOfMemory();
    }
    vectorArray = grown;
    vectorCapacity = capacity;
  }
  vectorArray[vectorSize] = obj;
  vectorSize++;
}

template <class T>
void Vector<T>::removeAllElements() {
  std::free(vectorArray);
  vectorArray = nullptr;
  vectorSize = 0;
  vectorCapacity = 0;
}

class DataItem;
class NeuronLayer;

typedef Vector<DataItem> Data_Vector;
typedef Vector<char> String_Vector;
typedef Vector<float> Double_Vector;  // of float arrays, despite its name; nothing is stored in one
typedef Vector<NeuronLayer> Layer_Vector;
typedef Vector<Layer_Vector> Vector_Vector;

#endif
