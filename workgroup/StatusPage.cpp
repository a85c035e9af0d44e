#include "workgroup/StatusPage.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace workgroup {

using nlohmann::json;

std::string HtmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

namespace {

// The page's script draws the same cells as NodeCells (see nodeCells there).
constexpr char kHead[] = R"PAGE(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Farm status</title>
<style>
body{font-family:system-ui,sans-serif;margin:0.5em;font-size:15px}
table{border-collapse:collapse;width:100%;margin-bottom:1em}
th,td{border-bottom:1px solid #ccc;padding:0.25em 0.4em;text-align:left;vertical-align:top}
th{background:#eee}
.wrap{overflow-x:auto}
.busy{color:#1565c0;font-weight:bold}.idle{color:#2e7d32}.unreachable{color:#c62828;font-weight:bold}
progress{width:6em}
#age{color:#666;font-size:0.85em}
</style></head><body>
<h1>Farm status</h1>
<p id="age">read-only; updates every second</p>
<h2>Nodes</h2>
<div class="wrap"><table><thead><tr><th>Node</th><th>State</th><th>Controller</th><th>Picture</th><th>Band</th>
<th>Rows</th><th>CPU s</th><th>MB</th><th>Since</th><th>Folder</th></tr></thead><tbody id="nodes">
)PAGE";

constexpr char kTail[] = R"PAGE(</tbody></table></div>
<h2>Jobs</h2>
<div class="wrap"><table><thead><tr><th>Job</th><th>Controller</th><th>State</th><th>Picture</th><th>Bands</th>
<th>Progress</th><th>Time left</th><th>Failures</th></tr></thead><tbody id="jobs"></tbody></table></div>
<h2>Waiting</h2>
<div class="wrap"><table><thead><tr><th>#</th><th>Controller</th><th>Job</th></tr></thead><tbody id="waiting"></tbody></table></div>
<h2>Last jobs</h2>
<div class="wrap"><table><thead><tr><th>Job</th><th>Controller</th><th>State</th><th>Picture</th><th>Bands</th>
<th>Progress</th><th>Time</th><th>Failures</th></tr></thead><tbody id="history"></tbody></table></div>
<script>
"use strict";
function cell(tr, text, cls){const td=document.createElement("td");td.textContent=String(text);if(cls)td.className=cls;tr.appendChild(td);return td;}
function secs(s){if(s===null||s===undefined)return "";s=Math.round(s);return s>=3600?Math.floor(s/3600)+"h"+Math.floor(s%3600/60)+"m":s>=60?Math.floor(s/60)+"m"+(s%60)+"s":s+"s";}
function since(t){if(!t)return "";return new Date(t*1000).toLocaleTimeString();}
function nodeRow(n){const tr=document.createElement("tr");const s=n.status||{};
cell(tr,(s.host||n.address)+(s.host&&s.host!==n.address?" ("+n.address+")":""));cell(tr,n.state,n.state);
const busy=n.state!=="unreachable"&&s.busy;cell(tr,s.controller||"");
cell(tr,busy?s.width+" x "+s.height:"");cell(tr,busy?s.band+"/"+s.bandCount+" rows "+s.firstRow+"-"+s.lastRow+(s.frame?" frame "+s.frame:""):"");
const td=cell(tr,busy?s.rowsDone+"/"+s.rowsAsked+" ":"");if(busy&&s.rowsAsked>0){const p=document.createElement("progress");p.max=s.rowsAsked;p.value=s.rowsDone;td.appendChild(p);}
cell(tr,busy?s.cpuSeconds.toFixed(1):"");cell(tr,busy?s.memoryMb.toFixed(0):"");cell(tr,busy?since(s.busySince):"");
cell(tr,(s.folder||"")+(s.version?" · "+s.version:"")+(s.renderer?" · "+s.renderer:""));return tr;}
function jobRow(j,ended){const tr=document.createElement("tr");cell(tr,j.id);cell(tr,j.controller);cell(tr,j.state);
cell(tr,j.width+" x "+j.height);cell(tr,j.bandsDone+"/"+j.bandsTotal);
const td=cell(tr,j.rowsDone+"/"+j.rowsTotal+" ");if(j.rowsTotal>0){const p=document.createElement("progress");p.max=j.rowsTotal;p.value=j.rowsDone;td.appendChild(p);}
cell(tr,ended?secs(j.elapsedSeconds):secs(j.secondsLeft));cell(tr,(j.failures||[]).join("; "));return tr;}
function fill(id,rows){const body=document.getElementById(id);body.replaceChildren(...rows);}
async function update(){try{const r=await fetch("status.json",{cache:"no-store"});const s=await r.json();
fill("nodes",(s.nodes||[]).map(nodeRow));fill("jobs",(s.jobs||[]).map(j=>jobRow(j,false)));
fill("waiting",(s.waiting||[]).map(w=>{const tr=document.createElement("tr");cell(tr,w.position);cell(tr,w.controller);cell(tr,w.job===null?"":w.job);return tr;}));
fill("history",(s.history||[]).map(j=>jobRow(j,true)));
document.getElementById("age").textContent="read-only; as of "+since(s.time);}
catch(e){document.getElementById("age").textContent="the server did not answer: "+e;}}
update();setInterval(update,1000);
</script></body></html>
)PAGE";

std::string Td(const std::string& text, const std::string& cls = "") {
  return (cls.empty() ? "<td>" : "<td class=\"" + HtmlEscape(cls) + "\">") + HtmlEscape(text) + "</td>";
}

std::string Text(const json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : "";
}

std::string Number(const json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_number()) return "";
  const double v = it->get<double>();
  return std::to_string(static_cast<long long>(std::llround(v)));
}

// The first drawing of one node, before the script takes over.
std::string NodeCells(const json& node) {
  const json status = node.contains("status") && node["status"].is_object() ? node["status"] : json::object();
  const std::string state = Text(node, "state");
  const bool busy = state == "busy" && status.value("busy", false);
  std::string host = Text(status, "host");
  const std::string address = Text(node, "address");
  if (host.empty()) host = address;
  std::string row = "<tr>" + Td(host) + Td(state, state) + Td(Text(status, "controller"));
  row += Td(busy ? Number(status, "width") + " x " + Number(status, "height") : "");
  row += Td(busy ? Number(status, "band") + "/" + Number(status, "bandCount") : "");
  row += Td(busy ? Number(status, "rowsDone") + "/" + Number(status, "rowsAsked") : "");
  row += Td(busy ? Number(status, "cpuSeconds") : "") + Td(busy ? Number(status, "memoryMb") : "") + Td("");
  row += Td(Text(status, "folder")) + "</tr>\n";
  return row;
}

}  // namespace

std::string StatusPage(const std::string& snapshotJson) {
  std::string page = kHead;
  const json snapshot = json::parse(snapshotJson, nullptr, false);
  if (snapshot.is_object() && snapshot.contains("nodes") && snapshot["nodes"].is_array()) {
    for (const json& node : snapshot["nodes"]) {
      if (node.is_object()) page += NodeCells(node);
    }
  }
  return page + kTail;
}

}  // namespace workgroup
