#include "apply/hierarchywalk.h"

#include <unordered_map>

#include "globals.h"
#include "output/assignments.h"

MappingModel::MappingModel(const Model& model) : model_(model), components_(model.components()), largestMap_(0) {
  Globals::vectorlength = components_;
  std::unordered_map<int, int> indexOf;
  for (size_t k = 0; k < model.maps.size(); k++) {
    indexOf[model.maps[k].gid] = static_cast<int>(k);
  }
  for (const Model::Map& m : model.maps) {
    const int parent = m.parentGid != 0 ? indexOf.at(m.parentGid) : -1;
    const int parentUnit =
        m.parentRow * (parent >= 0 ? model.maps[static_cast<size_t>(parent)].columns : 0) + m.parentColumn;
    Map map{parent, parentUnit, {}, {}, {}, {}};
    const int units = m.columns * m.rows;
    for (int u = 0; u < units; u++) {
      const int column = u % m.columns;
      const int row = u / m.columns;
      map.units.push_back(m.weights.data() + static_cast<size_t>(u) * components_);
      map.child.push_back(m.childGid[u] != 0 ? indexOf.at(m.childGid[u]) : -1);
      map.unitPart.push_back(Assignments::unitPart(m.gid, m.level, column, row));
      map.position.push_back(std::to_string(column) + "," + std::to_string(row));
    }
    largestMap_ = units > largestMap_ ? units : largestMap_;
    maps_.push_back(std::move(map));
  }
}

void MappingModel::appendPath(std::string& out, int map, int unit) const {
  // Up the parent chain (as deep as the hierarchy, so not by recursion), then written top down.
  thread_local std::vector<const std::string*> steps;
  steps.clear();
  for (;;) {
    const Map& m = maps_[static_cast<size_t>(map)];
    steps.push_back(&m.position[static_cast<size_t>(unit)]);
    if (m.parent < 0) {
      break;
    }
    unit = m.parentUnit;
    map = m.parent;
  }
  for (size_t k = steps.size(); k-- > 0;) {
    out += *steps[k];
    if (k > 0) {
      out += '/';
    }
  }
}

SquaredLength MappingModel::normalise(float* values) const {
  if (model_.normalisation == 1) {
    const SquaredLength length = squaredLengthOf(values, components_);
    if (length != SquaredLength::Fine) {
      return length;
    }
    Globals::normVec(values);
  } else if (model_.normalisation == 2) {
    Globals::divideByIntervalDivisors(values, model_.intervalDivisors.data());
  }
  return SquaredLength::Fine;
}

HierarchyWalk::HierarchyWalk(const MappingModel& model) : model_(model), search_(model.components()) {
  search_.reserve(model.largestMap());
}

int HierarchyWalk::nearest(const float* x, int map) {
  const MappingModel::Map& m = model_.map(map);
  return search_.find(m.units.data(), static_cast<int>(m.units.size()), x, WinnerSearch::kAboveEveryDistance, -1);
}

HierarchyWalk::End HierarchyWalk::descend(const float* x, int map) {
  for (;;) {
    const int unit = nearest(x, map);
    if (unit < 0) {
      return {map, -1};
    }
    const int child = model_.map(map).child[static_cast<size_t>(unit)];
    if (child < 0) {
      return {map, unit};
    }
    map = child;
  }
}
