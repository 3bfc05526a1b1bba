#ifndef VELMAR_DATAITEM_H
#define VELMAR_DATAITEM_H

// One input vector with its identifier. It owns both its identifier text and
// its component array; every list that refers to it only points to it.
class DataItem {
 public:
  DataItem(char* inid, float* indataVector, int inlength);
  ~DataItem();

  DataItem(const DataItem&) = delete;
  DataItem& operator=(const DataItem&) = delete;

  float* getDataVector() { return dataVector; }
  const char* getId() const { return id; }
  int getLength() const { return length; }

 private:
  char* id;
  float* dataVector;
  int length;
};

#endif
