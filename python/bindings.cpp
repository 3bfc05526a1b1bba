// The Python module velmar._velmar: a thin layer over the library interface
// (api/velmar.h). Arrays come in as numpy arrays and go out as numpy arrays;
// everything Python-like (estimators, tables, validation) is in the package.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>

#include "api/velmar.h"
#include "base/warning.h"

namespace py = pybind11;

namespace {

// ---- Matrices handed in ----

// By kind and size (equal dtypes need not be the same object), in the
// machine's byte order (the package sees to that).
velmar::ValueType valueType(const py::dtype& dtype) {
  const char kind = dtype.kind();
  const py::ssize_t size = dtype.itemsize();
  if (kind == 'f' && size == 4) return velmar::ValueType::Float32;
  if (kind == 'f' && size == 8) return velmar::ValueType::Float64;
  if (kind == 'i' && size == 4) return velmar::ValueType::Int32;
  if (kind == 'i' && size == 8) return velmar::ValueType::Int64;
  throw py::type_error("arrays must be of float32, float64, int32 or int64, not " +
                       py::str(static_cast<const py::handle&>(dtype)).cast<std::string>());
}

// A matrix of the caller's arrays, which it keeps alive while it lives.
class Matrix {
 public:
  static Matrix dense(py::array values) {
    if (values.ndim() != 2) throw py::value_error("a dense matrix must have two dimensions");
    Matrix m;
    m.arrays_ = {values};
    m.dense_.data = values.data();
    m.dense_.type = valueType(values.dtype());
    m.dense_.rows = values.shape(0);
    m.dense_.columns = values.shape(1);
    const py::ssize_t size = values.itemsize();
    if (values.strides(0) % size != 0 || values.strides(1) % size != 0) {
      throw py::value_error("a dense matrix's strides must be whole values");
    }
    m.dense_.rowStride = values.strides(0) / size;
    m.dense_.columnStride = values.strides(1) / size;
    m.vectors_.dense = &m.dense_;
    return m;
  }

  static Matrix sparse(py::array rowStarts, py::array indices, py::array values, long long rows, long long columns) {
    for (const py::array& a : {rowStarts, indices, values}) {
      if (a.ndim() != 1 || (a.flags() & py::array::c_style) == 0) {
        throw py::value_error("the arrays of a sparse matrix must be one-dimensional and contiguous");
      }
    }
    if (rowStarts.shape(0) != rows + 1 || indices.shape(0) != values.shape(0)) {
      throw py::value_error("the arrays of a sparse matrix do not fit its shape");
    }
    Matrix m;
    m.arrays_ = {rowStarts, indices, values};
    m.sparse_ = {rowStarts.data(), valueType(rowStarts.dtype()), indices.data(), valueType(indices.dtype()),
                 values.data(),    valueType(values.dtype()),    rows,           columns};
    m.vectors_.sparse = &m.sparse_;
    return m;
  }

  Matrix(const Matrix& other) : arrays_(other.arrays_), dense_(other.dense_), sparse_(other.sparse_) { relink(other); }

  const velmar::Vectors& vectors() const { return vectors_; }
  long long rows() const { return vectors_.dense != nullptr ? dense_.rows : sparse_.rows; }

 private:
  Matrix() = default;
  void relink(const Matrix& other) {
    vectors_.dense = other.vectors_.dense != nullptr ? &dense_ : nullptr;
    vectors_.sparse = other.vectors_.sparse != nullptr ? &sparse_ : nullptr;
  }

  std::vector<py::array> arrays_;
  velmar::DenseMatrix dense_;
  velmar::SparseMatrix sparse_;
  velmar::Vectors vectors_;
};

// ---- Warnings ----

std::mutex warningsLock;
std::vector<std::string> pendingWarnings;

void keepWarning(const std::string& message) {
  std::lock_guard<std::mutex> lock(warningsLock);
  pendingWarnings.push_back(message);
}

// Hands the warnings of the last call to Python's warnings (GIL held).
void issueWarnings() {
  std::vector<std::string> messages;
  {
    std::lock_guard<std::mutex> lock(warningsLock);
    messages.swap(pendingWarnings);
  }
  if (messages.empty()) return;
  py::object category = py::module_::import("velmar._warnings").attr("VelmarWarning");
  py::object warn = py::module_::import("warnings").attr("warn");
  for (const std::string& message : messages) warn(message, category, 3);
}

// ---- Calls that may be interrupted ----

// Runs `work` on a thread of its own without the GIL, while this thread
// looks for Ctrl-C every few hundredths of a second; after one, the library
// is asked to stop (its call ends soon after with velmar::Stopped) and the
// KeyboardInterrupt is raised here once the work has ended.
template <class Work>
auto interruptible(Work work) -> decltype(work()) {
  using Result = decltype(work());
  std::mutex lock;
  std::condition_variable ended;
  bool done = false;
  std::optional<Result> result;
  std::exception_ptr failure;
  bool interrupted = false;
  {
    py::gil_scoped_release release;
    std::thread worker([&] {
      try {
        result.emplace(work());
      } catch (...) {
        failure = std::current_exception();
      }
      std::lock_guard<std::mutex> guard(lock);
      done = true;
      ended.notify_all();
    });
    std::unique_lock<std::mutex> guard(lock);
    while (!done) {
      ended.wait_for(guard, std::chrono::milliseconds(20));
      if (done) break;
      guard.unlock();
      if (!interrupted) {
        py::gil_scoped_acquire acquire;
        if (PyErr_CheckSignals() != 0) {
          interrupted = true;
        }
      }
      if (interrupted) velmar::requestStop();
      guard.lock();
    }
    guard.unlock();
    worker.join();
  }
  if (interrupted) {
    issueWarnings();
    throw py::error_already_set();  // the KeyboardInterrupt the signal handler raised
  }
  issueWarnings();
  if (failure) std::rethrow_exception(failure);
  return std::move(*result);
}

// ---- Results handed out ----

template <class T>
py::array_t<T> arrayOf(const std::vector<T>& values, std::vector<py::ssize_t> shape) {
  py::array_t<T> out(shape);
  std::copy(values.begin(), values.end(), out.mutable_data());
  return out;
}

py::dict mapDict(const velmar::MapInfo& m, int components) {
  py::dict d;
  d["gid"] = m.gid;
  d["level"] = m.level;
  d["parent_map"] = m.parentMap;
  d["parent_column"] = m.parentColumn;
  d["parent_row"] = m.parentRow;
  d["columns"] = m.columns;
  d["rows"] = m.rows;
  d["weights"] = arrayOf(m.weights, {m.rows, m.columns, components});
  d["children"] = arrayOf(m.childMap, {m.rows, m.columns});
  if (!m.vectors.empty()) {
    d["vectors"] = arrayOf(m.vectors, {m.rows, m.columns});
    d["errors"] = arrayOf(m.errors, {m.rows, m.columns});
    py::list labels;
    for (int row = 0; row < m.rows; row++) {
      py::list inRow;
      for (int column = 0; column < m.columns; column++) {
        inRow.append(py::cast(m.labels[static_cast<size_t>(row * m.columns + column)]));
      }
      labels.append(inRow);
    }
    d["labels"] = labels;
  }
  return d;
}

py::list mapList(const std::vector<velmar::MapInfo>& maps, int components) {
  py::list list;
  for (const velmar::MapInfo& m : maps) list.append(mapDict(m, components));
  return list;
}

py::bytes asBytes(const std::string& text) { return py::bytes(text.data(), text.size()); }

std::shared_ptr<velmar::TrainedHierarchy> train(const velmar::Settings& settings, const Matrix& matrix,
                                                std::vector<std::string> ids, std::vector<std::string> names,
                                                std::vector<std::string> classes, const std::string& name,
                                                bool progress, bool console) {
  velmar::TrainingInput input;
  input.vectors = matrix.vectors();
  input.ids = std::move(ids);
  input.componentNames = std::move(names);
  input.classes = std::move(classes);
  input.name = name;
  velmar::RunOptions options;
  options.progress = progress;
  options.console = console ? &std::cerr : nullptr;
  return interruptible([&] { return velmar::train(settings, input, options); });
}

py::tuple mapVectors(const velmar::Model& model, const Matrix& matrix, int threads) {
  py::array_t<int32_t> units(matrix.rows());
  py::array_t<float> distances(matrix.rows());
  int32_t* unit = units.mutable_data();
  float* distance = distances.mutable_data();
  interruptible([&] {
    model.map(matrix.vectors(), threads, unit, distance);
    return true;
  });
  return py::make_tuple(units, distances);
}

py::dict unitTable(const velmar::Model& model) {
  const auto& units = model.units();
  const py::ssize_t n = static_cast<py::ssize_t>(units.size());
  py::array_t<int32_t> gid(n), level(n), column(n), row(n), child(n);
  py::list path;
  for (py::ssize_t k = 0; k < n; k++) {
    const velmar::Model::Unit& u = units[static_cast<size_t>(k)];
    gid.mutable_at(k) = u.gid;
    level.mutable_at(k) = u.level;
    column.mutable_at(k) = u.column;
    row.mutable_at(k) = u.row;
    child.mutable_at(k) = u.child;
    path.append(u.path);
  }
  py::dict d;
  d["gid"] = gid;
  d["level"] = level;
  d["column"] = column;
  d["row"] = row;
  d["child"] = child;
  d["path"] = path;
  d["first_unit"] = model.mapFirstUnit();
  return d;
}

}  // namespace

PYBIND11_MODULE(_velmar, m) {
  m.doc() = "The compiled core of velmar; use the classes of the velmar package.";
  setWarnHandler(keepWarning);
  py::register_exception<velmar::Error>(m, "VelmarError", PyExc_ValueError);

  m.def("setting_table", [] {
    py::list rows;
    for (const velmar::SettingInfo& s : velmar::settingTable()) {
      rows.append(py::make_tuple(s.key, s.kind, s.shownDefault, s.help));
    }
    return rows;
  });
  m.def("read_settings", [](const velmar::Settings& pairs) {
    auto values = velmar::readSettings(pairs);
    issueWarnings();
    return values;
  });

  m.def("read_property_file", &velmar::readPropertyFile, py::arg("path"));

  py::class_<Matrix>(m, "Matrix")
      .def_static("dense", &Matrix::dense, py::arg("values"))
      .def_static("sparse", &Matrix::sparse, py::arg("row_starts"), py::arg("indices"), py::arg("values"),
                  py::arg("rows"), py::arg("columns"));

  m.def("train", &train, py::arg("settings"), py::arg("matrix"), py::arg("ids"), py::arg("names"), py::arg("classes"),
        py::arg("name"), py::arg("progress"), py::arg("console"));

  py::class_<velmar::TrainedHierarchy, std::shared_ptr<velmar::TrainedHierarchy>>(m, "TrainedHierarchy")
      .def_property_readonly("components", &velmar::TrainedHierarchy::components)
      .def_property_readonly("vectors", &velmar::TrainedHierarchy::vectors)
      .def_property_readonly("mqe0", &velmar::TrainedHierarchy::mqe0)
      .def("maps", [](const velmar::TrainedHierarchy& h) { return mapList(h.maps(), h.components()); })
      .def("placements",
           [](const velmar::TrainedHierarchy& h) {
             const auto& placed = h.placements();
             const py::ssize_t n = static_cast<py::ssize_t>(placed.size());
             py::array_t<int32_t> map(n), unit(n);
             py::array_t<float> distance(n);
             for (py::ssize_t k = 0; k < n; k++) {
               map.mutable_at(k) = placed[static_cast<size_t>(k)].map;
               unit.mutable_at(k) = placed[static_cast<size_t>(k)].unit;
               distance.mutable_at(k) = placed[static_cast<size_t>(k)].distance;
             }
             return py::make_tuple(map, unit, distance);
           })
      .def("model_text", [](const velmar::TrainedHierarchy& h) { return asBytes(h.modelText()); })
      .def("summary_json",
           [](const velmar::TrainedHierarchy& h) {
             std::string json;
             {
               py::gil_scoped_release release;
               json = h.summaryJson();
             }
             return json;
           })
      .def(
          "write",
          [](const velmar::TrainedHierarchy& h, const std::string& folder, bool html, bool overview, bool assignments,
             bool mapLibrary, bool summary, bool model, const std::string& prefix,
             const std::string& datafileExtension) {
            velmar::Outputs outputs;
            outputs.html = html;
            outputs.overview = overview;
            outputs.assignments = assignments;
            outputs.mapLibrary = mapLibrary;
            outputs.summary = summary;
            outputs.model = model;
            outputs.prefix = prefix;
            outputs.datafileExtension = datafileExtension;
            {
              py::gil_scoped_release release;
              h.write(folder, outputs);
            }
            issueWarnings();
          },
          py::arg("folder"), py::arg("html"), py::arg("overview"), py::arg("assignments"), py::arg("map_library"),
          py::arg("summary"), py::arg("model"), py::arg("prefix"), py::arg("datafile_extension"));

  py::class_<velmar::Model, std::shared_ptr<velmar::Model>>(m, "Model")
      .def_static(
          "parse",
          [](py::bytes text, const std::string& name) { return velmar::Model::parse(std::string(text), name); },
          py::arg("text"), py::arg("name"))
      .def_static("read", &velmar::Model::read, py::arg("path"))
      .def("text", [](const velmar::Model& model) { return asBytes(model.text()); })
      .def_property_readonly("components", &velmar::Model::components)
      .def_property_readonly("component_names", &velmar::Model::componentNames)
      .def_property_readonly("mqe0", &velmar::Model::mqe0)
      .def_property_readonly("vectors", &velmar::Model::vectors)
      .def("settings", &velmar::Model::settings)
      .def("maps", [](const velmar::Model& model) { return mapList(model.maps(), model.components()); })
      .def("units", &unitTable)
      .def("map", &mapVectors, py::arg("matrix"), py::arg("threads"));
}
