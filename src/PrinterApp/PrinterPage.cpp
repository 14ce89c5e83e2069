#include "PrinterPage.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "PrinterStatus.h"

namespace {

constexpr char kSubpath[] = "counters";

std::string Escape(const std::string& text)
{
  std::string out;
  for (char c : text) {
    switch (c) {
    case '&': out += "&amp;"; break;
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    case '"': out += "&quot;"; break;
    default: out += c;
    }
  }
  return out;
}

std::string Row(const char* label, const std::string& value)
{
  return std::string("<tr><th>") + label + "</th><td>" + Escape(value) + "</td></tr>\n";
}

// The printer-state-reasons keywords this application sets, as IPP names them.
std::string GetReasonWords(pappl_preason_t reasons)
{
  static const std::pair<pappl_preason_t, const char*> kWords[] = {
      {PAPPL_PREASON_COVER_OPEN, "cover-open"},     {PAPPL_PREASON_MEDIA_EMPTY, "media-empty"},
      {PAPPL_PREASON_MEDIA_JAM, "media-jam"},       {PAPPL_PREASON_MEDIA_LOW, "media-low"},
      {PAPPL_PREASON_MEDIA_NEEDED, "media-needed"}, {PAPPL_PREASON_MARKER_SUPPLY_EMPTY, "marker-supply-empty"},
      {PAPPL_PREASON_OFFLINE, "offline"},           {PAPPL_PREASON_OTHER, "other"},
  };
  std::string words;
  for (const auto& [bit, word] : kWords) {
    if ((reasons & bit) != 0) words += (words.empty() ? "" : ", ") + std::string(word);
  }
  return words;
}

std::string Count(long value)
{
  return value >= 0 ? std::to_string(value) : "unknown";
}

std::string MediaText(int size)
{
  if (size == 150) return "4 in wide (102 mm)";
  if (size == 161) return "4.5 in wide (115 mm)";
  return "unknown";
}

// Serves the page of the printer whose ID is data. Blocks on the client.
bool ServePage(pappl_client_t* client, void* data)
{
  const int id = static_cast<int>(reinterpret_cast<intptr_t>(data));
  pappl_printer_t* printer = papplSystemFindPrinter(papplClientGetSystem(client), nullptr, id, nullptr);
  if (printer == nullptr) return false;
  // The header sends the HTTP response line itself.
  papplClientHTMLPrinterHeader(client, printer, "Counters", 10, nullptr, nullptr);
  PrinterState state;
  papplClientHTMLPuts(client, "<div class=\"row\"><div class=\"col-12\"><table class=\"form\" id=\"tq58-counters\">\n");
  const std::string printerState = ippEnumString("printer-state", static_cast<int>(papplPrinterGetState(printer)));
  const std::string reasons = GetReasonWords(papplPrinterGetReasons(printer));
  papplClientHTMLPuts(client,
                      Row("State", reasons.empty() ? printerState : printerState + " (" + reasons + ")").c_str());
  if (GetLastPrinterState(printer, &state)) papplClientHTMLPuts(client, GetPrinterPageRows(state).c_str());
  else papplClientHTMLPuts(client, "<tr><td>The printer has not been asked yet.</td></tr>\n");
  papplClientHTMLPuts(client, "</table></div></div>\n");
  papplClientHTMLPrinterFooter(client);
  return true;
}

}  // namespace

std::string GetPrinterPageRows(const PrinterState& state)
{
  std::string rows;
  rows += Row("Status", state.message.empty() ? "Ready" : state.message);
  rows += Row("Media", MediaText(state.mediaSize));
  rows += Row("Prints left", Count(state.remain));
  rows += Row("Total prints", Count(state.totalCount));
  return rows;
}

void AddPrinterPage(pappl_printer_t* printer, void*)
{
  char path[256];
  if (papplPrinterGetPath(printer, kSubpath, path, sizeof path) == nullptr) return;
  pappl_system_t* system = papplPrinterGetSystem(printer);
  // Adding it again (a printer created, then the state loaded) replaces it.
  papplSystemRemoveResource(system, path);
  papplSystemAddResourceCallback(system, path, "text/html", ServePage,
                                 reinterpret_cast<void*>(static_cast<intptr_t>(papplPrinterGetID(printer))));
  papplPrinterRemoveLink(printer, "Counters");
  papplPrinterAddLink(printer, "Counters", path, PAPPL_LOPTIONS_NAVIGATION | PAPPL_LOPTIONS_STATUS);
}
