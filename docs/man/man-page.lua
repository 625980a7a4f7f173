-- Turns the Markdown documents into manual pages (pandoc -t man).
--
-- Tables become tagged paragraphs, as man pages usually
-- set them out: they then read well at any terminal width and never make
-- the formatter warn about lines or blocks that do not fit. The first cell
-- of a row is the tag; a two-column row's second cell is the text under it,
-- and wider rows give one "heading: text" line per further cell. A row whose
-- first cell is empty continues the row above, after an empty line.

local function inlines_of(blocks)
  local inlines = {}
  for i, block in ipairs(blocks) do
    if i > 1 then table.insert(inlines, pandoc.Space()) end
    if block.content then
      for _, inline in ipairs(block.content) do table.insert(inlines, inline) end
    end
  end
  return inlines
end

local function roff(inlines)
  local text = pandoc.write(pandoc.Pandoc({pandoc.Plain(inlines)}), "man")
  return (text:gsub("%s+$", ""))
end

function Table(tbl)
  if not FORMAT:match("man") then return nil end
  local n = #tbl.colspecs
  if n < 2 then return nil end
  local headings = {}
  for _, row in ipairs(tbl.head.rows) do
    for i, cell in ipairs(row.cells) do headings[i] = pandoc.utils.stringify(cell.contents) end
  end
  local out = {}
  for _, body in ipairs(tbl.bodies) do
    for _, row in ipairs(body.body) do
      local lines = {}
      for i = 2, math.min(n, #row.cells) do
        local inlines = inlines_of(row.cells[i].contents)
        if #inlines > 0 then
          if n > 2 and headings[i] and headings[i] ~= "" then
            table.insert(inlines, 1, pandoc.Space())
            table.insert(inlines, 1, pandoc.Emph(headings[i] .. ":"))
          end
          table.insert(lines, roff(inlines))
        end
      end
      local term = row.cells[1] and inlines_of(row.cells[1].contents) or {}
      if #term == 0 and #out > 0 then
        table.insert(out, ".sp")
      else
        table.insert(out, ".TP")
        -- The tag is the one line after .TP.
        table.insert(out, #term > 0 and (roff(term):gsub("\n", " ")) or "\\&")
      end
      table.insert(out, table.concat(lines, "\n.br\n"))
    end
  end
  table.insert(out, ".PP")
  return pandoc.RawBlock("man", table.concat(out, "\n"))
end

-- A link to another document becomes a reference to its manual page, or
-- its plain text.
local PAGES = {
  ["pelvar.md"] = "pelvar(1)",
  ["pelvar-reg.md"] = "pelvar-reg(1)",
  ["scripts.md"] = "pelvar-script(5)",
}

function Link(link)
  local target = link.target:gsub("#.*$", "")
  local file = target:match("([^/]+%.md)$")
  if not file and target:match("^%a[%w+.-]*:") then return nil end
  local page = file and PAGES[file]
  if page and pandoc.utils.stringify(link.content) ~= page then
    local inlines = link.content
    table.insert(inlines, pandoc.Space())
    table.insert(inlines, pandoc.Str("(see " .. page .. ")"))
    return inlines
  end
  return link.content
end

-- Pictures cannot be shown on a terminal: a paragraph of a picture alone
-- goes, a picture inside text leaves its description.
function Para(para)
  if #para.content == 1 and para.content[1].t == "Image" then return {} end
  local inlines, changed = {}, false
  for _, inline in ipairs(para.content) do
    if inline.t == "Image" then
      for _, part in ipairs(inline.caption) do table.insert(inlines, part) end
      changed = true
    else
      table.insert(inlines, inline)
    end
  end
  if changed then return pandoc.Para(inlines) end
  return nil
end

-- When several documents make one page, SEE ALSO is put last, where
-- readers look for it.
function Pandoc(doc)
  local see_also, rest, inside = {}, {}, false
  for _, block in ipairs(doc.blocks) do
    if block.t == "Header" and block.level == 1 then
      inside = pandoc.utils.stringify(block.content) == "SEE ALSO"
    end
    table.insert(inside and see_also or rest, block)
  end
  for _, block in ipairs(see_also) do table.insert(rest, block) end
  doc.blocks = rest
  return doc
end
