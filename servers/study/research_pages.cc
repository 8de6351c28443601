#include "servers/study/research_pages.h"

#include "servers/study/text_escape.h"

namespace kestrelio {
namespace {

constexpr const char* kHead = R"html(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>Kestrelio study</title>
<style>
body{font-family:sans-serif;margin:1em}table{border-collapse:collapse;margin-bottom:1.5em}
td,th{border:1px solid #bbb;padding:2px 6px;font-size:90%;white-space:nowrap}
th{background:#eee}h2{margin-top:1.5em}
</style></head><body>
<h1>Kestrelio study</h1>
)html";

CsvCell CellOf(const TableLayout& layout, size_t column) {
  // Columns 0 and 1 are the row id and the upload id.
  if (column < 2) return CsvCell::kNumber;
  size_t stored = 0;
  for (const FieldLayout& field : layout.fields) {
    if (field.kind == FieldKind::kNull) continue;
    if (stored++ == column - 2) {
      bool number = field.kind == FieldKind::kInteger || field.kind == FieldKind::kDecimal ||
                    field.kind == FieldKind::kFlag;
      return number ? CsvCell::kNumber : CsvCell::kText;
    }
  }
  return CsvCell::kText;
}

void FilterForm(const RecordFilter& filter, std::string* html) {
  *html += "<form method=\"get\" action=\"/study/\">\n";
  *html += "Device <input name=\"device\" size=\"22\" value=\"" + HtmlEscape(filter.device) +
           "\">\nFrom <input name=\"from\" type=\"date\" value=\"" + HtmlEscape(filter.from) +
           "\">\nTo <input name=\"to\" type=\"date\" value=\"" + HtmlEscape(filter.to) +
           "\">\n<button>Filter</button> <a href=\"/study/\">all</a>\n</form>\n";
}

void Handsets(ResearchQuery& query, const RecordFilter& filter, std::string* html) {
  *html +=
      "<h2>Handsets</h2>\n<table><tr><th>device</th><th>uploads</th>"
      "<th>last upload (UTC)</th><th>last kind</th></tr>\n";
  for (const HandsetRow& row : query.Handsets(filter)) {
    RecordFilter only = filter;
    only.device = row.device;
    *html += "<tr><td><a href=\"/study/?" + HtmlEscape(FilterQuery(only)) + "\">" +
             HtmlEscape(row.device) + "</a></td><td>" + std::to_string(row.uploads) + "</td><td>" +
             HtmlEscape(row.last_upload_at) + "</td><td>" + HtmlEscape(row.last_upload_kind) +
             "</td></tr>\n";
  }
  *html += "</table>\n";
}

void RecordTable(ResearchQuery& query, const TableLayout& layout, const RecordFilter& filter,
                 std::string* html) {
  int64_t total = query.Count(layout, filter);
  std::string query_text = FilterQuery(filter);
  *html += "<h2 id=\"" + std::string(layout.name) + "\">" + std::string(layout.title) +
           "</h2>\n<p>" + std::to_string(total) + " records";
  if (total > kOverviewRows) *html += ", the newest " + std::to_string(kOverviewRows) + " shown";
  *html += ". <a href=\"/study/" + std::string(layout.name) + ".csv" +
           (query_text.empty() ? "" : "?" + HtmlEscape(query_text)) + "\">CSV</a></p>\n";
  *html += "<table><tr>";
  for (std::string_view heading : RowHeadings(layout)) {
    *html += "<th>" + HtmlEscape(heading) + "</th>";
  }
  *html += "</tr>\n";
  for (const RecordRow& row : query.Newest(layout, filter, kOverviewRows)) {
    *html += "<tr>";
    for (const auto& cell : row) *html += "<td>" + (cell ? HtmlEscape(*cell) : "") + "</td>";
    *html += "</tr>\n";
  }
  *html += "</table>\n";
}

void RefusedTable(ResearchQuery& query, const RecordFilter& filter, std::string* html) {
  *html += "<h2 id=\"refused\">Refused records (newest " + std::to_string(kOverviewRefusedRows) +
           ")</h2>\n<table><tr><th>upload</th><th>kind</th><th>device</th>"
           "<th>received (UTC)</th><th>line</th><th>reason</th><th>text</th></tr>\n";
  for (const RefusedRow& row : query.Refused(filter, kOverviewRefusedRows)) {
    *html += "<tr><td>" + std::to_string(row.upload_id) + "</td><td>" + HtmlEscape(row.kind) +
             "</td><td>" + HtmlEscape(row.device) + "</td><td>" + HtmlEscape(row.received_at) +
             "</td><td>" + std::to_string(row.first_line) + "</td><td>" + HtmlEscape(row.reason) +
             "</td><td>" + HtmlEscape(row.raw.substr(0, 300)) + "</td></tr>\n";
  }
  *html += "</table>\n";
}

}  // namespace

std::string RenderOverview(ResearchQuery& query, const RecordFilter& filter) {
  std::string html = kHead;
  FilterForm(filter, &html);
  html += "<p>";
  for (const TableLayout& layout : AllTables()) {
    html += "<a href=\"#" + std::string(layout.name) + "\">" + std::string(layout.title) + "</a> ";
  }
  html += "<a href=\"#refused\">Refused records</a></p>\n";
  Handsets(query, filter, &html);
  for (const TableLayout& layout : AllTables()) RecordTable(query, layout, filter, &html);
  RefusedTable(query, filter, &html);
  html += "</body></html>\n";
  return html;
}

std::string CsvHeader(const TableLayout& layout) {
  std::string line;
  for (std::string_view heading : RowHeadings(layout)) {
    if (!line.empty()) line += ',';
    line += heading;
  }
  return line + "\r\n";
}

std::string CsvRows(const TableLayout& layout, const std::vector<RecordRow>& rows) {
  std::string text;
  for (const RecordRow& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) {
      if (i > 0) text += ',';
      if (row[i]) text += CsvField(*row[i], CellOf(layout, i));
    }
    text += "\r\n";
  }
  return text;
}

}  // namespace kestrelio
