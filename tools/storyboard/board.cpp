// The storyboard page: every distinct moment once, in the sections the story's description gives, with the
// paths it lies on, the song, the page's text and the checker's findings beside it.
#include <algorithm>
#include <cstdio>
#include <map>
#include "storyboard.h"

std::string HtmlEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
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

namespace {

constexpr int LINE_LIMIT = 530;  // pixels from the text origin to the message box's right edge
constexpr int TEXT_X = 60, TEXT_Y = 355, LINE_STEP = 20, LINE_HEIGHT = 22;

std::string Escape(const std::string& s) { return HtmlEscape(s); }

std::string Percent(double part, double whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f%%", 100.0 * part / whole);
    return text;
}

std::string MessageLabel(const std::string& key) { return "message <code>" + Escape(key) + "</code>"; }

const char style[] = R"CSS(
:root { --bg:#14151b; --card:#1f2029; --edge:#2d2f3b; --ink:#e9e7f1; --dim:#9a98aa; --accent:#f49ac1;
        --accent2:#8ec5ff; --warn:#ffb454; --bad:#ff5f6d; }
* { box-sizing:border-box; }
body { margin:0; background:var(--bg); color:var(--ink); font:15px/1.45 "DejaVu Sans", "Noto Sans", system-ui, sans-serif; }
header { padding:28px 40px 18px; background:linear-gradient(135deg,#2a1f33,#14151b 60%); border-bottom:1px solid var(--edge); }
header h1 { margin:0 0 4px; font-size:28px; letter-spacing:.5px; }
header h1 span { color:var(--accent); }
header p { margin:2px 0; color:var(--dim); }
.stats { display:flex; gap:14px; margin-top:14px; flex-wrap:wrap; }
.stat { background:var(--card); border:1px solid var(--edge); border-radius:10px; padding:8px 14px; }
.stat b { display:block; font-size:22px; color:var(--ink); }
.stat.bad b { color:var(--bad); }
.stat span { color:var(--dim); font-size:12px; text-transform:uppercase; letter-spacing:.6px; }
nav { position:sticky; top:0; z-index:5; background:rgba(20,21,27,.92); backdrop-filter:blur(6px);
      padding:10px 40px; border-bottom:1px solid var(--edge); display:flex; gap:8px; flex-wrap:wrap; }
nav a { color:var(--ink); text-decoration:none; padding:4px 12px; border-radius:999px; background:var(--card);
        border:1px solid var(--edge); font-size:13px; }
nav a:hover { border-color:var(--accent); }
nav a i { color:var(--dim); font-style:normal; margin-left:4px; }
main { padding:10px 40px 60px; }
section h2 { margin:34px 0 14px; font-size:20px; border-left:4px solid var(--accent); padding-left:10px; }
section h2 small { color:var(--dim); font-weight:normal; font-size:13px; margin-left:8px; }
.grid { display:grid; grid-template-columns:repeat(auto-fill,minmax(400px,1fr)); gap:18px; }
figure { margin:0; background:var(--card); border:1px solid var(--edge); border-radius:12px; overflow:hidden;
         display:flex; flex-direction:column; }
figure.flagged { border-color:var(--bad); box-shadow:0 0 0 1px var(--bad) inset; }
.shot { position:relative; display:block; line-height:0; background:#000; }
.shot img { width:100%; height:auto; image-rendering:pixelated; }
.mark { position:absolute; border:2px solid var(--bad); border-radius:2px; background:rgba(255,95,109,.12); }
.over { position:absolute; background:repeating-linear-gradient(45deg,rgba(255,95,109,.75) 0 4px,rgba(255,95,109,.25) 4px 8px); }
.edge { position:absolute; top:70%; bottom:0; border-left:2px dashed rgba(255,180,84,.9); }
figcaption { padding:10px 14px 14px; }
.kind { font-size:11px; text-transform:uppercase; letter-spacing:.8px; color:var(--accent2); }
.kind.scene { color:var(--accent); }
h3 { margin:2px 0 6px; font-size:16px; }
h3 code { background:#2c2e3a; padding:0 6px; border-radius:4px; color:var(--accent); }
.chips { display:flex; gap:6px; flex-wrap:wrap; margin-bottom:6px; }
.chip { font-size:12px; padding:2px 8px; border-radius:999px; background:#2a2c38; color:var(--ink); }
.chip.song::before { content:"\266A  "; color:var(--accent); }
.chip.path::before { content:"\2192  "; color:var(--accent2); }
.chip.frame { color:var(--dim); }
.chip.place { font-family:"DejaVu Sans Mono", monospace; color:var(--accent2); }
.paths { margin:0; padding:10px 16px 10px 48px; }
.paths li { margin:2px 0; }
.text { font:12.5px/1.45 "DejaVu Sans Mono", monospace; background:#171820; border-radius:6px; padding:6px 8px; margin-top:6px; }
.line { position:relative; padding-bottom:4px; }
.line span { white-space:pre-wrap; overflow-wrap:anywhere; }
.line i { position:absolute; left:0; bottom:1px; height:2px; border-radius:1px; background:rgba(142,197,255,.35); }
.line.long i { background:var(--bad); }
.line b { float:right; color:var(--bad); font:bold 11px "DejaVu Sans", sans-serif; padding-top:2px; }
.finding { margin-top:8px; padding:6px 10px; border-radius:6px; background:rgba(255,95,109,.12); border-left:3px solid var(--bad); font-size:13px; }
.finding.note { background:rgba(142,197,255,.08); border-left-color:var(--accent2); color:var(--dim); }
.finding.note b { color:var(--accent2); }
.finding a { color:var(--accent2); margin-left:6px; white-space:nowrap; }
.finding b { color:var(--bad); font-weight:normal; font-family:"DejaVu Sans Mono", monospace; font-size:12px; }
.general { background:var(--card); border:1px solid var(--edge); border-radius:12px; padding:10px 16px; }
.ok { color:#7ee2a8; }
footer { color:var(--dim); padding:0 40px 30px; font-size:12px; }
)CSS";

// What the parts of the page share while it is made: the pages of every message, the findings and the
// card each is first shown beside.
struct BoardMaking {
    const BoardPage& page;
    const std::vector<Finding>& findings;
    BoardStats* stats;
    std::map<std::string, std::vector<MessagePage>> layouts;
    std::vector<long> placed;  // per finding: the card it is shown beside, or -1
    std::vector<int> sectionCount;
};

// Whether a finding concerns a card: the script's line the card stands at, or a message's page.
bool Concerns(BoardMaking& b, const Finding& f, const BoardItem& item) {
    if (f.line > 0 && item.placeLine == f.line && f.file == item.placeFile) return true;
    if (item.moment.kind != "page" || f.message.empty() || f.message != item.moment.message) return false;
    const std::vector<MessagePage>& pages = b.layouts[f.message];
    if (item.moment.page < 1 || item.moment.page > int(pages.size())) return item.moment.page == 1;
    const MessagePage& layout = pages[size_t(item.moment.page - 1)];
    if (f.checkerPage == 0) return item.moment.page == 1;
    for (const PageLine& line : layout.lines)
        if (line.checkerPage == f.checkerPage && (f.checkerLine == 0 || line.checkerLine == f.checkerLine))
            return true;
    return false;
}

// "FILE:LINE", or the file alone.
std::string FindingPlace(const Finding& f) {
    std::string place = f.file;
    if (f.line) {
        place += ':';
        place += std::to_string(f.line);
    }
    return place;
}

// A page's lines as text, each with a bar as wide as the line is in the box (full: 530 pixels), into
// *text; the marks over the picture where a line runs past the box. *flagged when one does.
std::string PageLines(BoardMaking& b, const MessagePage& layout, std::string* text, bool* flagged) {
    std::string marks;
    for (size_t l = 0; l < layout.lines.size(); ++l) {
        const PageLine& line = layout.lines[l];
        bool longLine = line.width > LINE_LIMIT;
        *text += std::string("<div class=\"line") + (longLine ? " long" : "") + "\" title=\"" +
                 std::to_string(line.width) + " of " + std::to_string(LINE_LIMIT) + " pixels\"><span>" +
                 (line.text.empty() ? "&nbsp;" : Escape(line.text)) + "</span><i style=\"width:" +
                 Percent(std::min(line.width, LINE_LIMIT), LINE_LIMIT) + "\"></i>" +
                 (longLine ? "<b>" + std::to_string(line.width) + " px</b>" : "") + "</div>";
        if (!longLine) continue;
        *flagged = true;
        b.stats->overlong++;
        double top = TEXT_Y + LINE_STEP * double(l) - 1, right = std::min(TEXT_X + line.width, 640);
        marks += "<div class=\"mark\" title=\"line " + std::to_string(l + 1) + ": " + std::to_string(line.width) +
                 " pixels, " + std::to_string(line.width - LINE_LIMIT) + " past the box\" style=\"left:" +
                 Percent(TEXT_X - 4, 640) + ";top:" + Percent(top, 480) + ";width:" +
                 Percent(right - TEXT_X + 6, 640) + ";height:" + Percent(LINE_HEIGHT, 480) + "\"></div>";
        marks += "<div class=\"over\" style=\"left:" + Percent(TEXT_X + LINE_LIMIT, 640) + ";top:" +
                 Percent(top, 480) + ";width:" + Percent(std::max(2.0, right - TEXT_X - LINE_LIMIT + 2), 640) +
                 ";height:" + Percent(LINE_HEIGHT, 480) + "\"></div>";
    }
    if (*flagged) marks += "<div class=\"edge\" style=\"left:" + Percent(TEXT_X + LINE_LIMIT, 640) + "\"></div>";
    return marks;
}

// The findings that concern a card, shown on it; *flagged when one is not a note.
std::string CardFindings(BoardMaking& b, const BoardItem& item, bool* flagged) {
    std::string notes;
    for (size_t f = 0; f < b.findings.size(); ++f) {
        const Finding& finding = b.findings[f];
        if (!Concerns(b, finding, item)) continue;
        if (b.placed[f] < 0) b.placed[f] = item.order;
        *flagged = *flagged || !finding.note;
        notes += std::string("<div class=\"finding") + (finding.note ? " note" : "") + "\"><b>" +
                 Escape(FindingPlace(finding)) + "</b> " + Escape(finding.text) + "</div>";
    }
    return notes;
}

// One moment's card: its picture with the marks, what it is, its chips, its text and findings.
std::string Card(BoardMaking& b, const BoardItem& item) {
    const Moment& m = item.moment;
    bool isPage = m.kind == "page";
    (isPage ? b.stats->pages : b.stats->scenes)++;
    b.stats->items++;
    b.sectionCount[size_t(item.section)]++;
    const MessagePage* layout = nullptr;
    int pageCount = 0;
    if (isPage) {
        const std::vector<MessagePage>& pages = b.layouts[m.message];
        pageCount = int(pages.size());
        if (m.page >= 1 && m.page <= pageCount) layout = &pages[size_t(m.page - 1)];
    }
    std::string marks, text;
    bool flagged = false;
    if (layout) marks = PageLines(b, *layout, &text, &flagged);
    std::string notes = CardFindings(b, item, &flagged);
    std::string card = std::string("<figure") + (flagged ? " class=\"flagged\"" : "") + " id=\"m" +
                       std::to_string(item.order) + "\"><a class=\"shot\" href=\"" + Escape(m.picture) +
                       "\"><img loading=\"lazy\" width=\"640\" height=\"480\" src=\"" + Escape(m.picture) +
                       "\" alt=\"\">" + marks + "</a><figcaption>";
    if (isPage) {
        card += "<div class=\"kind\">Page</div><h3>" + MessageLabel(m.message) + " \xc2\xb7 page " +
                std::to_string(m.page) + (pageCount ? " of " + std::to_string(pageCount) : "") + "</h3>";
    } else {
        card += "<div class=\"kind scene\">Scene</div><h3>" + item.title + "</h3>";
    }
    card += "<div class=\"chips\">";
    if (!item.place.empty()) card += "<span class=\"chip place\">" + Escape(item.place) + "</span>";
    card += "<span class=\"chip path\">" + Escape(item.pathsText) + "</span>";
    card += m.song.empty() ? "<span class=\"chip song\">no song</span>"
                           : "<span class=\"chip song\">" + Escape(m.song) + " \xc2\xb7 step " +
                                 std::to_string(m.songStep) + "</span>";
    card += "<span class=\"chip frame\">frame " + std::to_string(m.frame) + "</span></div>";
    if (!text.empty()) card += "<div class=\"text\">" + text + "</div>";
    return card + notes + "</figcaption></figure>\n";
}

// The head of the page (the folder, what was played, the numbers) and the links to its sections.
std::string PageHead(const BoardMaking& b, const std::string& dataDir) {
    const BoardPage& page = b.page;
    std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width\"><title>kirake storyboard</title><style>";
    html += style;
    html += "</style></head><body><header><h1>kirake <span>storyboard</span></h1><p>" + Escape(dataDir) + "</p><p>" +
            Escape(page.intro) + "</p><div class=\"stats\">";
    auto stat = [&](int value, const char* label, bool bad = false) {
        html += std::string("<div class=\"stat") + (bad && value ? " bad" : "") + "\"><b>" + std::to_string(value) +
                "</b><span>" + label + "</span></div>";
    };
    stat(page.pathCount, "paths");
    stat(b.stats->pages, "message pages");
    stat(b.stats->scenes, "scenes");
    stat(b.stats->findings, "checker findings", true);
    stat(b.stats->overlong, "lines too long", true);
    html += "</div></header><nav>";
    if (!b.findings.empty())
        html += "<a href=\"#findings\">Findings<i>" + std::to_string(b.findings.size()) + "</i></a>";
    if (!page.pathList.empty())
        html += "<a href=\"#paths\">Paths<i>" + std::to_string(page.pathList.size()) + "</i></a>";
    for (size_t s = 0; s < page.sections.size(); ++s)
        if (b.sectionCount[s])
            html += "<a href=\"#" + Escape(page.sections[s].id) + "\">" + Escape(page.sections[s].name) + "<i>" +
                    std::to_string(b.sectionCount[s]) + "</i></a>";
    return html + "</nav>";
}

// The checker's section: the storyboard's own notes, then every finding with a link to its card.
std::string FindingsSection(const BoardMaking& b, const std::string& dataDir) {
    std::string html = "<section id=\"findings\"><h2>The checker<small>kirake-check " + Escape(dataDir) +
                       "</small></h2>";
    if (!b.page.notes.empty()) {
        html += "<div class=\"general\">";
        for (const std::string& note : b.page.notes)
            html += "<div class=\"finding\"><b>storyboard</b> " + Escape(note) + "</div>";
        html += "</div><br>";
    }
    if (b.findings.empty()) return html + "<div class=\"general ok\">Nothing to report: the data folder is clean.</div></section>";
    html += "<div class=\"general\">";
    for (size_t f = 0; f < b.findings.size(); ++f) {
        html += std::string("<div class=\"finding") + (b.findings[f].note ? " note" : "") + "\"><b>" +
                Escape(FindingPlace(b.findings[f])) + "</b> " + Escape(b.findings[f].text);
        if (b.placed[f] >= 0) html += " <a href=\"#m" + std::to_string(b.placed[f]) + "\">see the page</a>";
        html += "</div>";
    }
    return html + "</div></section>";
}

}  // namespace

int WriteBoard(const std::string& out, const std::string& dataDir, const BoardPage& page,
               const std::vector<uint8_t>& script, const std::vector<Finding>& findings, BoardStats* stats,
               std::string* error) {
    *stats = BoardStats{};
    BoardMaking b{page, findings, stats, {}, std::vector<long>(findings.size(), -1),
                  std::vector<int>(page.sections.size(), 0)};
    for (const BoardItem& item : page.items)
        if (item.moment.kind == "page" && !b.layouts.count(item.moment.message))
            b.layouts[item.moment.message] = LayOutMessage(script, item.moment.message);
    for (const Finding& f : findings) stats->findings += f.note ? 0 : 1;
    std::vector<std::string> cards(page.sections.size());
    for (const BoardItem& item : page.items)
        if (item.section >= 0 && size_t(item.section) < page.sections.size())
            cards[size_t(item.section)] += Card(b, item);

    std::string html = PageHead(b, dataDir) + "<main>" + FindingsSection(b, dataDir);
    if (!page.pathList.empty()) {
        html += "<section id=\"paths\"><h2>Paths<small>the decisions taken on each, and where it ended</small></h2>"
                "<ol class=\"general paths\">";
        for (const std::string& path : page.pathList) html += "<li>" + Escape(path) + "</li>";
        html += "</ol></section>";
    }
    for (size_t s = 0; s < page.sections.size(); ++s) {
        if (!b.sectionCount[s]) continue;
        html += "<section id=\"" + Escape(page.sections[s].id) + "\"><h2>" + Escape(page.sections[s].name) +
                "<small>" + std::to_string(b.sectionCount[s]) + (b.sectionCount[s] == 1 ? " moment" : " moments") +
                "</small></h2><div class=\"grid\">\n" + cards[s] + "</div></section>";
    }
    html += "</main><footer>Made by kirake-storyboard " KIRAKE_VERSION ". Click a picture for the page at full "
            "size.</footer></body></html>\n";
    FILE* file = std::fopen((out + "/index.html").c_str(), "w");
    if (!file || std::fwrite(html.data(), 1, html.size(), file) != html.size()) {
        if (file) std::fclose(file);
        *error = "cannot write " + out + "/index.html";
        return 0;
    }
    std::fclose(file);
    return 1;
}
