#include "output/overviewscript.h"

const char* const kOverviewScript = R"js(<script>
(function () {
  "use strict";
  var FEW = [247, 251, 255], MANY = [8, 48, 107];
  var holder = document.getElementById("velmar-weights");
  var data = holder ? JSON.parse(holder.textContent) : null;
  function mix(t) {
    var c = [0, 1, 2].map(function (k) { return Math.round(FEW[k] + (MANY[k] - FEW[k]) * t); });
    return "rgb(" + c.join(",") + ")";
  }
  function short(v) { return isFinite(v) ? String(Number(v.toPrecision(3))) : "-"; }
  function shade(select) {
    var gid = select.getAttribute("data-map");
    var cells = document.getElementById("grid-" + gid).querySelectorAll("rect.cell");
    var component = Number(select.value);
    var weights = component >= 0 && data ? data.maps[gid] : null;
    var width = data ? data.names.length : 0;
    var values = [], lo = weights ? Infinity : 0, hi = weights ? -Infinity : 0;
    for (var i = 0; i < cells.length; i++) {
      var v = weights ? weights[Number(cells[i].getAttribute("data-u")) * width + component]
                      : Number(cells[i].getAttribute("data-n"));
      v = typeof v === "number" ? v : NaN;
      values.push(v);
      if (isFinite(v)) { lo = Math.min(lo, v); hi = Math.max(hi, v); }
    }
    for (i = 0; i < cells.length; i++) {
      var t = hi > lo && isFinite(values[i]) ? (values[i] - lo) / (hi - lo) : 0;
      var empty = !weights && values[i] === 0;
      cells[i].setAttribute("fill", empty ? "#ffffff" : mix(t));
      var texts = cells[i].closest("g.unit").querySelectorAll("text.t");
      for (var k = 0; k < texts.length; k++) texts[k].setAttribute("fill", t > 0.5 ? "#ffffff" : "#222222");
    }
    document.getElementById("lo-" + gid).textContent = short(lo);
    document.getElementById("hi-" + gid).textContent = short(hi);
    document.getElementById("cap-" + gid).textContent = weights ? data.names[component] : "vectors per unit";
  }
  function reveal() {
    var id = decodeURIComponent(location.hash.slice(1));
    var target = id ? document.getElementById(id) : null;
    for (var node = target; node; node = node.parentElement) {
      if (node.tagName === "DETAILS") node.open = true;
    }
    if (target) target.scrollIntoView();
  }
  function openAll(open) {
    var all = document.querySelectorAll("details.map");
    for (var i = 0; i < all.length; i++) all[i].open = open;
  }
  var selects = document.querySelectorAll("select.comp");
  if (data) {
    var options = document.createDocumentFragment();
    data.names.forEach(function (name, k) {
      var option = document.createElement("option");
      option.value = String(k);
      option.textContent = name;
      options.appendChild(option);
    });
    for (var i = 0; i < selects.length; i++) {
      selects[i].appendChild(options.cloneNode(true));
      selects[i].disabled = false;
      selects[i].addEventListener("change", function (e) { shade(e.target); });
    }
  }
  document.getElementById("open-all").addEventListener("click", function () { openAll(true); });
  document.getElementById("close-all").addEventListener("click", function () { openAll(false); });
  window.addEventListener("hashchange", reveal);
  reveal();
})();
</script>
)js";
