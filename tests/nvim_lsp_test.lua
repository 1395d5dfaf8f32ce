-- Neovim's own language client against mirvo lsp, headless: open a source
-- with a mistake, wait for its diagnostics, show the hover of a mnemonic,
-- apply the quick fix at the mistake through the code-action menu, save;
-- then ask for the run's inlay hints and code lens,
-- then format a new text.
-- Prints what it saw; ends with :cquit on the first thing that fails.
local mirvo = os.getenv('MIRVO')
local function fail(message)
  io.stdout:write('FAIL ' .. message .. '\n')
  vim.cmd('cquit 1')
end
local function say(message) io.stdout:write(message .. '\n') end

local buffer = vim.api.nvim_get_current_buf()
local client = vim.lsp.start_client({ name = 'mirvo', cmd = { mirvo, 'lsp' }, root_dir = vim.fn.getcwd() })
if not client then return fail('the server did not start') end
vim.lsp.buf_attach_client(buffer, client)

if not vim.wait(10000, function() return #vim.diagnostic.get(buffer) > 0 end, 20) then
  return fail('no diagnostics')
end
for _, d in ipairs(vim.diagnostic.get(buffer)) do
  say(string.format('diagnostic %d:%d %s', d.lnum + 1, d.col + 1, d.message))
end

-- The hover of MOV, in the floating window Neovim opens for it.
vim.api.nvim_win_set_cursor(0, { 1, 1 })
vim.lsp.buf.hover()
local hover
vim.wait(10000, function()
  for _, window in ipairs(vim.api.nvim_list_wins()) do
    if vim.api.nvim_win_get_config(window).relative ~= '' then
      hover = table.concat(vim.api.nvim_buf_get_lines(vim.api.nvim_win_get_buf(window), 0, -1, false), ' ')
      return true
    end
  end
  return false
end, 20)
if not hover then return fail('no hover') end
say('hover ' .. hover)

-- The quick fix at the mistake: the menu answers with its first entry.
vim.api.nvim_win_set_cursor(0, { 1, 4 })
local offered = {}
vim.ui.select = function(items, options, choose)
  for _, item in ipairs(items) do table.insert(offered, (options.format_item(item))) end
  choose(items[1])
end
vim.lsp.buf.code_action()
if not vim.wait(10000, function() return #offered > 0 end, 20) then return fail('no code action') end
say('offered ' .. table.concat(offered, ', '))
vim.cmd('silent write')
if not vim.wait(10000, function() return #vim.diagnostic.get(buffer) == 0 end, 20) then
  return fail('diagnostics remain after the fix')
end
say('fixed')

-- What the run changed and how it ended, through the protocol: Neovim 0.7
-- shows neither inlay hints nor code lenses of its own.
local lsp = vim.lsp.get_client_by_id(client)
local document = { uri = vim.uri_from_bufnr(buffer) }
local range = { start = { line = 0, character = 0 }, ['end'] = { line = 2, character = 0 } }
local hints = lsp.request_sync('textDocument/inlayHint', { textDocument = document, range = range }, 10000, buffer)
if not hints or not hints.result then return fail('no inlay hints') end
local labels = {}
for _, hint in ipairs(hints.result) do table.insert(labels, hint.label) end
say('hints ' .. table.concat(labels, ' | '))
local lenses = lsp.request_sync('textDocument/codeLens', { textDocument = document }, 10000, buffer)
if not lenses or not lenses.result or #lenses.result == 0 then return fail('no code lens') end
say('lens ' .. lenses.result[1].command.title)
-- Formatting: one edit, which the client applies to the buffer.
vim.api.nvim_buf_set_lines(buffer, 0, -1, false, { 'mvi A,1h', 'RET' })
if vim.lsp.buf.format then
  vim.lsp.buf.format({ timeout_ms = 10000 })
else
  vim.lsp.buf.formatting_sync(nil, 10000)
end
say('formatted ' .. table.concat(vim.api.nvim_buf_get_lines(buffer, 0, -1, false), ' | '))
vim.lsp.stop_client(client)
vim.cmd('qall!')
