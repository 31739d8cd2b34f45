# The screenshots of the metainfo: FRAME|NAME|CAPTION, frames of the headless run of screenshots.keys on
# the default data. The first is the default screenshot.
set(KIRAKE_SCREENSHOTS
  "150|title|The title"
  "2089|classroom|The story, typed out a character at a time"
  "3392|partner|One of the three partners"
  "4700|staff-roll|The ending's staff roll"
)
