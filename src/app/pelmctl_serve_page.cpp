#include "app/pelmctl_serve_page.h"

namespace pelmctl {

const std::string_view kVenuePage = R"(<!DOCTYPE html>
<html lang="ja">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>会場の表示板</title>
<link rel="stylesheet" href="venue.css">
<script src="venue.js" defer></script>
</head>
<body>
<header>
<h1>会場の表示板</h1>
<p id="summary" aria-live="polite">読み込み中…</p>
</header>
<p id="problem" hidden></p>
<main id="boards"></main>
</body>
</html>
)";

// Every text from a status copy goes in through textContent, never as
// markup, so a schedule title cannot add anything to the page.
const std::string_view kVenueScript = R"JS('use strict';

const REFRESH_MS = 2000;

const STATE_WORDS = {
  'running': '表示中',
  'waiting': '待機中',
  'not connected': '未接続',
  'starting': '起動中',
  'stopped': '停止',
};

// The board's own words for its state, and the colour class of the card.
function stateOf(board) {
  switch (board.verdict) {
    case 'fine':
      return [STATE_WORDS[board.state] || board.state, board.state === 'waiting' ? 'waiting' : 'fine'];
    case 'error':
      return ['エラー', 'error'];
    case 'stale':
      return ['応答なし', 'stale'];
    case 'not running':
      return ['停止', 'stopped'];
    default:
      return [STATE_WORDS[board.state] || board.state, board.state === 'starting' ? 'starting' : 'trouble'];
  }
}

function ageText(ms) {
  if (ms === null || ms === undefined) return '更新なし';
  if (ms < 0) return '時計がずれています';
  const seconds = Math.floor(ms / 1000);
  if (seconds < 120) return seconds + ' 秒前';
  if (seconds < 7200) return Math.floor(seconds / 60) + ' 分前';
  return Math.floor(seconds / 3600) + ' 時間前';
}

function nowText(board) {
  const row = (board.rows || [])[0];
  if (!row) return '—';
  return (row.start + '-' + row.end + ' ' + row.title).trim();
}

function errorText(board) {
  if (typeof board.error !== 'string') return 'なし';
  return board.errorCount > 1 ? board.error + '（' + board.errorCount + ' 回）' : board.error;
}

function clockText(board) {
  if (board.clockSynchronised === true) {
    const bound = typeof board.clockMaxErrorMs === 'number' ? '（±' + board.clockMaxErrorMs + ' ms）' : '';
    return ['同期済み' + bound, 'synchronised'];
  }
  if (board.clockSynchronised === false) return ['未同期', 'unsynchronised'];
  return ['不明', 'unknown'];
}

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function newCard(key) {
  const card = element('article', 'card');
  card.dataset.key = key;
  const frame = element('div', 'frame');
  const picture = element('img', 'picture');
  picture.alt = '';
  picture.hidden = true;
  frame.append(picture, element('span', 'no-picture', '画像なし'));
  const title = element('div', 'title');
  title.append(element('h2', 'host'), element('span', 'state'));
  const facts = element('dl', 'facts');
  for (const [name, label] of [['age', '最終更新'], ['now', '現在'], ['error', 'エラー'], ['clock', '時計'], ['folder', 'フォルダ']]) {
    facts.append(element('dt', '', label), element('dd', name));
  }
  card.append(frame, title, facts);
  return card;
}

// Loads a new picture beside the shown one and swaps it in once it has
// arrived whole, so a picture being replaced never shows as broken.
function showPicture(card, name) {
  const picture = card.querySelector('.picture');
  const none = card.querySelector('.no-picture');
  if (typeof name !== 'string' || name === '') {
    picture.hidden = true;
    none.hidden = false;
    card.dataset.picture = '';
    return;
  }
  if (card.dataset.loading === '1') return;
  card.dataset.loading = '1';
  const next = new Image();
  next.onload = () => {
    picture.src = next.src;
    picture.hidden = false;
    none.hidden = true;
    card.dataset.picture = name;
    card.dataset.loading = '';
  };
  next.onerror = () => { card.dataset.loading = ''; };
  next.src = 'picture/' + encodeURIComponent(name) + '?t=' + Date.now();
}

function fill(card, board) {
  const [word, tone] = stateOf(board);
  card.className = 'card ' + tone;
  card.dataset.verdict = board.verdict;
  card.querySelector('.host').textContent = board.host || '（ホスト不明）';
  const state = card.querySelector('.state');
  state.textContent = word;
  card.querySelector('.age').textContent = ageText(board.refreshAgeMs);
  card.querySelector('.now').textContent = nowText(board);
  const error = card.querySelector('.error');
  error.textContent = errorText(board);
  error.classList.toggle('bad', typeof board.error === 'string');
  const [clock, sync] = clockText(board);
  const clockNode = card.querySelector('.clock');
  clockNode.textContent = clock;
  clockNode.dataset.sync = sync;
  card.querySelector('.folder').textContent = board.workingFolder || '';
  showPicture(card, board.picture);
}

function keyOf(board) {
  return (board.host || '') + '\n' + (board.workingFolder || '');
}

function render(venue) {
  const main = document.getElementById('boards');
  const boards = (venue.boards || []).slice().sort((a, b) => keyOf(a) < keyOf(b) ? -1 : keyOf(a) > keyOf(b) ? 1 : 0);
  const cards = new Map([...main.children].map(card => [card.dataset.key, card]));
  const seen = new Set();
  for (const board of boards) {
    const key = keyOf(board);
    seen.add(key);
    let card = cards.get(key);
    if (!card) card = newCard(key);
    fill(card, board);
    main.append(card);  // keeps the order; moving a node does not rebuild it
  }
  for (const [key, card] of cards) {
    if (!seen.has(key)) card.remove();
  }
  const problem = document.getElementById('problem');
  const unanswered = venue.unanswered || [];
  if (venue.unreadable) {
    problem.textContent = '状態フォルダが読めないか、応答しません。';
  } else if (unanswered.length) {
    problem.textContent = '応答のない状態ファイル: ' + unanswered.join('、');
  } else if (!boards.length) {
    problem.textContent = '状態フォルダに表示板がありません。';
  } else {
    problem.textContent = '';
  }
  problem.hidden = problem.textContent === '';
  const fine = boards.filter(board => board.verdict === 'fine').length;
  document.getElementById('summary').textContent =
    '表示板 ' + boards.length + ' 台、正常 ' + fine + ' 台（' + new Date().toLocaleTimeString('ja-JP') + ' 現在）';
}

async function refresh() {
  try {
    const answer = await fetch('venue.json', { cache: 'no-store' });
    if (!answer.ok) throw new Error(String(answer.status));
    render(await answer.json());
  } catch (failure) {
    document.getElementById('summary').textContent = 'サーバーに接続できません（' + new Date().toLocaleTimeString('ja-JP') + '）';
  } finally {
    setTimeout(refresh, REFRESH_MS);
  }
}

refresh();
)JS";

const std::string_view kVenueStyle = R"(:root {
  color-scheme: light;
  font-family: "IPAPGothic", "Noto Sans CJK JP", "Hiragino Sans", "Yu Gothic", sans-serif;
  background: #eceff1;
  color: #212121;
}
body { margin: 0; }
header {
  display: flex; flex-wrap: wrap; align-items: baseline; gap: 0 1rem;
  padding: 0.6rem 1rem; background: #263238; color: #fff;
}
h1 { font-size: 1.25rem; margin: 0; }
#summary { margin: 0; font-size: 0.9rem; opacity: 0.85; }
#problem { margin: 0.8rem 1rem 0; padding: 0.5rem 0.8rem; background: #fff3e0; border-left: 4px solid #e65100; }
#boards {
  display: grid; gap: 0.8rem; padding: 0.8rem;
  grid-template-columns: repeat(auto-fill, minmax(min(100%, 300px), 1fr));
}
.card {
  background: #fff; border-radius: 6px; overflow: hidden;
  border-top: 6px solid #9e9e9e; box-shadow: 0 1px 3px rgba(0, 0, 0, 0.2);
}
.frame { position: relative; background: #000; aspect-ratio: 1005 / 679; display: flex; align-items: center; justify-content: center; }
.picture { width: 100%; height: 100%; object-fit: contain; display: block; }
.picture[hidden], .no-picture[hidden] { display: none; }
.no-picture { color: #9e9e9e; font-size: 0.9rem; }
.title { display: flex; align-items: center; justify-content: space-between; gap: 0.5rem; padding: 0.5rem 0.8rem 0; }
.host { font-size: 1.1rem; margin: 0; overflow-wrap: anywhere; }
.state { font-weight: bold; padding: 0.15rem 0.6rem; border-radius: 1rem; color: #fff; background: #757575; white-space: nowrap; }
.facts { display: grid; grid-template-columns: auto 1fr; gap: 0.2rem 0.8rem; margin: 0; padding: 0.5rem 0.8rem 0.8rem; font-size: 0.9rem; }
.facts dt { color: #616161; }
.facts dd { margin: 0; overflow-wrap: anywhere; }
.facts .bad { color: #c62828; font-weight: bold; }
.facts .clock[data-sync="unsynchronised"] { color: #e65100; font-weight: bold; }
.facts .folder { color: #757575; font-size: 0.8rem; }
.card.fine { border-top-color: #2e7d32; }
.card.fine .state { background: #2e7d32; }
.card.waiting { border-top-color: #00838f; }
.card.waiting .state { background: #00838f; }
.card.starting .state, .card.trouble .state { background: #e65100; }
.card.starting, .card.trouble { border-top-color: #e65100; }
.card.error { border-top-color: #c62828; }
.card.error .state { background: #c62828; }
.card.stale, .card.stopped { filter: grayscale(1); opacity: 0.55; }
.card.stale .state, .card.stopped .state { background: #616161; }
@media (max-width: 480px) {
  #boards { padding: 0.5rem; gap: 0.5rem; }
  h1 { font-size: 1.1rem; }
}
)";

}  // namespace pelmctl
