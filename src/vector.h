#ifndef VELMAR_VECTOR_H
#define VELMAR_VECTOR_H

#include <cstdlib>

// A minimal growable array of pointers. It never owns what it points to, so
// one object can sit in several vectors at once (an input vector is in the
// global list, in the list of every map trained on it and in the list of the
// unit that represents it). The array grows by exactly one slot per append.
template <class T>
class Vector {
 public:
  Vector() : vectorSize(0), vectorArray(nullptr) {}
  ~Vector() { removeAllElements(); }

  Vector(const Vector&) = delete;
  Vector& operator=(const Vector&) = delete;

  void addElement(T* obj);
  T* elementAt(int pos) const { return vectorArray[pos]; }
  int size() const { return vectorSize; }
  void removeAllElements();

 private:
  int vectorSize;
  T** vectorArray;
};

template <class T>
void Vector<T>::addElement(T* obj) {
  T** grown = static_cast<T**>(std::realloc(vectorArray, sizeof(T*) * (vectorSize + 1)));
  if (grown == nullptr) {
    std::abort();  // out of memory while growing a list: nothing sensible is left to do
  }
  vectorArray = grown;
  vectorArray[vectorSize] = obj;
  vectorSize++;
}

template <class T>
void Vector<T>::removeAllElements() {
  std::free(vectorArray);
  vectorArray = nullptr;
  vectorSize = 0;
}

class DataItem;
class NeuronLayer;

typedef Vector<DataItem> Data_Vector;
typedef Vector<char> String_Vector;
typedef Vector<float> Double_Vector;
typedef Vector<NeuronLayer> Layer_Vector;
typedef Vector<Layer_Vector> Vector_Vector;

#endif
