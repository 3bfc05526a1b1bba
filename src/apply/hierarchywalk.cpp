#include "apply/hierarchywalk.h"

#include <unordered_map>

#include "globals.h"

MappingModel::MappingModel(const Model& model)
    : model_(model), components_(model.components()), largestMap_(0) {
  Globals::vectorlength = components_;
  std::unordered_map<int, int> indexOf;
  for (size_t k = 0; k < model.maps.size(); k++) {
    indexOf[model.maps[k].gid] = static_cast<int>(k);
  }
  for (const Model::Map& m : model.maps) {
    Map map{m.gid, m.level, m.columns, {}, {}, {}};
    const int units = m.columns * m.rows;
    for (int u = 0; u < units; u++) {
      map.units.push_back(m.weights.data() + static_cast<size_t>(u) * components_);
      map.child.push_back(m.childGid[u] != 0 ? indexOf.at(m.childGid[u]) : -1);
      map.position.push_back(std::to_string(u % m.columns) + "," + std::to_string(u / m.columns));
    }
    largestMap_ = units > largestMap_ ? units : largestMap_;
    maps_.push_back(std::move(map));
  }
}

void MappingModel::normalise(float* values) const {
  if (model_.normalisation == 1) {
    Globals::normVec(values);
  } else if (model_.normalisation == 2) {
    Globals::divideByIntervalDivisors(values, model_.intervalDivisors.data());
  }
}

HierarchyWalk::HierarchyWalk(const MappingModel& model) : model_(model), search_(model.components()) {
  search_.reserve(model.largestMap());
}

int HierarchyWalk::nearest(const float* x, int map) {
  const MappingModel::Map& m = model_.map(map);
  return search_.find(m.units.data(), static_cast<int>(m.units.size()), x, WinnerSearch::kAboveEveryDistance, -1);
}

HierarchyWalk::End HierarchyWalk::descend(const float* x, int map, std::vector<int>& units) {
  for (;;) {
    const int unit = nearest(x, map);
    if (unit < 0) {
      return {map, true};
    }
    units.push_back(unit);
    const int child = model_.map(map).child[static_cast<size_t>(unit)];
    if (child < 0) {
      return {map, false};
    }
    map = child;
  }
}
