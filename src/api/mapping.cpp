// velmar::Model: a model file's text made ready for mapping vectors held in
// memory, exactly as the map command maps the same values read from text.

#include "api/callguard.h"
#include "api/memoryrows.h"
#include "api/velmar.h"
#include "apply/blockplacer.h"
#include "apply/hierarchywalk.h"
#include "base/failure.h"
#include "base/workers.h"
#include "globals.h"
#include "io/modelfile.h"

namespace velmar {

namespace {

// Vectors mapped a block at a time: the floats of about this many values.
constexpr long long kBlockValues = 1 << 20;

}  // namespace

struct Model::Ready {
  ::Model model;
  std::unique_ptr<MappingModel> mapping;
};

Model::Model() = default;
Model::~Model() = default;

std::shared_ptr<Model> Model::parse(std::string_view text, const std::string& name) {
  CallGuard guard(nullptr);
  std::shared_ptr<Model> made(new Model());
  made->text_ = std::string(text);
  made->ready_ = std::make_unique<Ready>();
  made->ready_->model = parseModel(text, name);
  made->ready_->mapping = std::make_unique<MappingModel>(made->ready_->model);
  const ::Model& m = made->ready_->model;
  for (size_t k = 0; k < m.maps.size(); k++) {
    const ::Model::Map& map = m.maps[k];
    const MappingModel::Map& ready = made->ready_->mapping->map(static_cast<int>(k));
    made->mapFirstUnit_.push_back(static_cast<int>(made->units_.size()));
    for (int u = 0; u < map.columns * map.rows; u++) {
      std::string path;
      made->ready_->mapping->appendPath(path, static_cast<int>(k), u);
      made->units_.push_back(
          {map.gid, map.level, u % map.columns, u / map.columns, ready.child[static_cast<size_t>(u)], std::move(path)});
    }
  }
  return made;
}

std::shared_ptr<Model> Model::read(const std::string& path) {
  std::string text;
  {
    CallGuard guard(nullptr);
    text = modelFileText(path);
  }
  return parse(text, path);
}

int Model::components() const { return ready_->model.components(); }

const std::vector<std::string>& Model::componentNames() const { return ready_->model.componentNames; }

std::vector<MapInfo> Model::maps() const {
  std::vector<MapInfo> maps;
  const MappingModel& mapping = *ready_->mapping;
  for (size_t k = 0; k < ready_->model.maps.size(); k++) {
    const ::Model::Map& m = ready_->model.maps[k];
    const MappingModel::Map& ready = mapping.map(static_cast<int>(k));
    MapInfo map;
    map.gid = m.gid;
    map.level = m.level;
    map.parentMap = ready.parent;
    map.parentColumn = m.parentColumn;
    map.parentRow = m.parentRow;
    map.columns = m.columns;
    map.rows = m.rows;
    map.weights = m.weights;
    map.childMap = ready.child;
    maps.push_back(std::move(map));
  }
  return maps;
}

float Model::mqe0() const { return ready_->model.mqe0; }

long long Model::vectors() const { return ready_->model.vectors; }

std::vector<std::pair<std::string, std::optional<std::string>>> Model::settings() const {
  std::vector<std::pair<std::string, std::optional<std::string>>> settings;
  for (const ::Model::Setting& s : ready_->model.settings) {
    settings.emplace_back(s.key, s.set ? std::optional<std::string>(s.value) : std::nullopt);
  }
  return settings;
}

void Model::map(const Vectors& vectors, int threads, int32_t* unit, float* distance) const {
  CallGuard guard(nullptr);
  const MemoryRows rows(vectors, "vectors to map");
  const int components = ready_->model.components();
  if (rows.columns() != components) {
    fail("the vectors to map have " + std::to_string(rows.columns()) + " components, the model " +
         std::to_string(components));
  }
  Globals::vectorlength = components;
  Workers team(Workers::membersFor(threads));
  BlockPlacer placer(*ready_->mapping, team);
  const long long perBlock = std::max<long long>(1, kBlockValues / components);
  std::vector<float> values;
  std::vector<BlockPlacer::Placed> placed;
  for (long long first = 0; first < rows.rows(); first += perBlock) {
    const size_t count = static_cast<size_t>(std::min(perBlock, rows.rows() - first));
    values.resize(count * static_cast<size_t>(components));
    const BlockPlacer::Outcome outcome = placer.place(
        values.data(), count,
        [&](size_t k, float* row, int, std::string&) { return rows.read(first + static_cast<long long>(k), row); },
        placed);
    if (outcome.placed < count) {
      const std::string vector = "vector " + std::to_string(first + static_cast<long long>(outcome.placed) + 1);
      fail(outcome.length == SquaredLength::Fine
               ? vector + " to map holds a value that is not a finite number"
               : vector + " to map cannot be scaled to length 1 (LENGTH): the sum of its squares lies " +
                     (outcome.length == SquaredLength::Overflows ? "beyond" : "below") + " the float range");
    }
    for (size_t k = 0; k < count; k++) {
      unit[first + static_cast<long long>(k)] = mapFirstUnit_[static_cast<size_t>(placed[k].map)] + placed[k].unit;
      distance[first + static_cast<long long>(k)] = placed[k].distance;
    }
  }
}

}  // namespace velmar
