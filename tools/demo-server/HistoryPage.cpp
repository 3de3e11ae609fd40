#include "HistoryPage.h"

namespace {

const char* const kStyle = R"(<style>
body { font-family: sans-serif; margin: 2em auto; max-width: 46em; color: #222; }
h1 { color: #1d4f91; } h2 { border-bottom: 1px solid #ccc; padding-bottom: .2em; }
table { border-collapse: collapse; width: 100%; } td, th { padding: .3em .6em; text-align: left; }
tr:nth-child(even) { background: #f2f5fa; } td.v { font-family: monospace; white-space: nowrap; }
</style>)";

// The start of a page of ours: doctype, title and style, inside the open head.
std::string PageHead(const std::string& title) {
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>" + title +
         "</title>\n" + kStyle;
}

}  // namespace

std::string HistoryPageHtml() {
  return PageHead("Computer QUORVIN - Version history") + R"(
</head><body>
<h1>Computer QUORVIN version history</h1>
<p>Run the Quorvin Program Updater to bring every installed product up to date.</p>

<h2>Accounts</h2>
<table><tr><th>Version</th><th>Changes</th></tr>
<tr><td class="v">2.4.010</td><td>Year-end closing in one step; faster ledger import.</td></tr>
<tr><td class="v">2.4.003</td><td>Ledger library: rounding of foreign-currency totals fixed.</td></tr>
<tr><td class="v">2.0.000</td><td>New help; multi-company books.</td></tr>
<tr><td class="v">1.0.001</td><td>First release.</td></tr>
</table>

<h2>Payroll</h2>
<table><tr><th>Version</th><th>Changes</th></tr>
<tr><td class="v">3.1.002</td><td>Payslips by e-mail; pension report.</td></tr>
<tr><td class="v">2026.1.000</td><td>Tax tables for 2026.</td></tr>
<tr><td class="v">3.0.000</td><td>New payroll engine.</td></tr>
</table>

<h2>Reports</h2>
<table><tr><th>Version</th><th>Changes</th></tr>
<tr><td class="v">1.6.001</td><td>Report templates: quarterly VAT return, aged debtors.</td></tr>
<tr><td class="v">1.5.000</td><td>Export to spreadsheet.</td></tr>
</table>
</body></html>
)";
}

std::string IndexPageHtml() {
  return PageHead("Computer QUORVIN download server") + R"(
</head><body>
<h1>Computer QUORVIN download server</h1>
<ul>
<li><a href="/download/allfiles.ini">Catalogue (download/allfiles.ini)</a></li>
<li><a href="/history">Version history</a></li>
</ul>
</body></html>
)";
}
