// The researcher pages as text: the overview page (filter form, handsets, every record
// table, refused records) in plain HTML, and the CSV of one table. All record text is
// escaped on the way out.
#pragma once

#include <string>
#include <vector>

#include "servers/study/research_query.h"

namespace kestrelio {

// Rows of each table shown on the overview; the CSV has them all.
inline constexpr int kOverviewRows = 200;
inline constexpr int kOverviewRefusedRows = 50;

std::string RenderOverview(ResearchQuery& query, const RecordFilter& filter);

std::string CsvHeader(const TableLayout& layout);
std::string CsvRows(const TableLayout& layout, const std::vector<RecordRow>& rows);

}  // namespace kestrelio
