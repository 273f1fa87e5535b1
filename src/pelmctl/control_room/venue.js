'use strict';

// The control room's page. Every text from a status copy goes in through
// textContent, never as markup, so a schedule title cannot add anything to
// the page. The server judges every board by its own clock and sends them
// the worst first; the page shows them in that order, and says plainly when
// what it shows is not known to be current.

const POLL_MS = 2000;
// Past this without a good answer (two polls), nothing on the page is
// known to be current: every card turns to "unknown".
const STALE_MS = 2 * POLL_MS;
const TITLE = '会場の表示板';

const WORDS = {
  'forged': '偽造',
  'error': 'エラー',
  'not connected': '未接続',
  'starting': '起動中',
  'not answering': '応答なし',
  'stopped': '停止',
  'missing': '未着',
  'checking': '確認中',
  'waiting': '待機中',
  'fine': '表示中',
};

let lastGood = null;  // when the server last answered with a folder it could read
let failingSince = null;  // the server has not answered since
let folderSince = null;  // the server has not read the folder since
let folderFailure = null;  // why the server cannot read it, when the folder says
let shownAt = null;  // the time of the data on the page

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text !== undefined) node.textContent = text;
  return node;
}

function clockTime(date) {
  return date.toLocaleTimeString('ja-JP');
}

function ago(seconds) {
  if (typeof seconds !== 'number') return null;
  const whole = Math.floor(seconds);
  if (whole < 120) return whole + ' 秒前';
  if (whole < 7200) return Math.floor(whole / 60) + ' 分前';
  return Math.floor(whole / 3600) + ' 時間前';
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
  let text = '不明';
  if (board.clockSynchronised === true) {
    text = '同期済み' + (typeof board.clockMaxErrorMs === 'number' ? '（±' + board.clockMaxErrorMs + ' ms）' : '');
  } else if (board.clockSynchronised === false) {
    text = '未同期';
  }
  const offset = board.clockOffsetSeconds;
  if (typeof offset === 'number' && Math.abs(offset) > 2) {
    text += '、時計 ' + (offset > 0 ? '+' : '−') + Math.round(Math.abs(offset)) + ' 秒';
  }
  return text;
}

function pictureText(board) {
  if (board.pictureDamaged) return '壊れています（表示しません）';
  if (!board.picture) return 'なし';
  return ago(board.pictureAgeSeconds) ? ago(board.pictureAgeSeconds) + 'に撮影' : '撮影時刻不明';
}

// Why a copy is not the board's own, as the server says it.
const FORGERIES = {
  'owner': board => '書き手 ' + board.owner + '（' + 'expected-boards.txt では ' + board.expectedOwner + '）',
  'unsigned': () => '会場の鍵で署名されていません',
  'bad signature': () => '署名が合いません（別の鍵か、署名の後に書き換え）',
  'replayed': () => '前に見た署名済みの状態の再送です',
};

function written(copy, owner) {
  return copy + (owner ? '（書き手 ' + owner + '）' : '');
}

function copiesText(board) {
  if (board.verdict === 'forged') {
    const why = FORGERIES[board.forgery];
    return written(board.copy, board.owner) + ': ' + (why ? why(board) : board.forgery) +
      '。この表示板の状態としては扱いません';
  }
  const notes = [written(board.copy, board.owner)];
  const others = board.duplicates || [];
  if (others.length) {
    notes.push('同じ表示板を名乗る別の状態ファイル: ' + others.map(other =>
      written(other.copy, other.owner) + ' ' + (WORDS[other.verdict] || other.verdict)).join('、'));
  } else if (board.conflict) {
    notes.push('二台が同じ状態ファイルを書いています');
  }
  return notes.join('。');
}

function changedText(board) {
  if (typeof board.secondsNotRead === 'number' && board.secondsNotRead >= 2) {
    return Math.floor(board.secondsNotRead) + ' 秒前から読めません（最後に読めた状態を表示）';
  }
  return ago(board.secondsSinceChange) ||
    (board.verdict === 'checking' ? '確認中' : '10 秒以上変化なし');
}

// Each fact of a card: its class, its label, its text. A forgery and a
// missing board show only what is known of them.
const FACTS = [
  ['changed', '更新', changedText],
  ['now', '現在', nowText],
  ['error', 'エラー', errorText],
  ['clock', '時計', clockText],
  ['picture-age', '画像', pictureText],
  ['copies', '状態ファイル', copiesText],
  ['where', '場所', board => [board.host, board.workingFolder].filter(Boolean).join(' ')],
];

function newCard(key) {
  const card = element('article', 'card');
  card.dataset.key = key;
  const frame = element('div', 'frame');
  const picture = element('img', 'picture');
  picture.alt = '';
  picture.hidden = true;
  frame.append(picture, element('span', 'no-picture', '画像なし'));
  const title = element('div', 'title');
  title.append(element('h2', 'name'), element('span', 'state'));
  const facts = element('dl', 'facts');
  for (const [name, label] of FACTS) facts.append(element('dt', name, label), element('dd', name));
  card.append(title, frame, facts);
  return card;
}

// A picture is fetched only when the server says it changed; the new one
// replaces the shown one once it has arrived whole.
function showPicture(card, board) {
  const picture = card.querySelector('.picture');
  const none = card.querySelector('.no-picture');
  const wanted = board.picture ? board.picture + '\n' + board.pictureVersion : '';
  if (!wanted) {
    picture.hidden = true;
    none.hidden = false;
    none.textContent = board.pictureDamaged ? '画像が壊れています' : '画像なし';
    card.dataset.picture = '';
    return;
  }
  if (card.dataset.picture === wanted || card.dataset.loading === wanted) return;
  card.dataset.loading = wanted;
  const next = new Image();
  next.onload = () => {
    if (card.dataset.loading !== wanted) return;
    picture.src = next.src;
    picture.hidden = false;
    none.hidden = true;
    card.dataset.picture = wanted;
    card.dataset.loading = '';
  };
  next.onerror = () => { if (card.dataset.loading === wanted) card.dataset.loading = ''; };
  next.src = 'picture/' + encodeURIComponent(board.picture) + '?v=' + encodeURIComponent(board.pictureVersion);
}

const FACTS_OF = {
  'missing': [],
  'forged': ['copies'],
};

function fill(card, board) {
  card.className = 'card ' + board.verdict.replace(' ', '-') + (board.trouble ? ' trouble' : '');
  card.dataset.verdict = board.verdict;
  card.querySelector('.name').textContent = board.name || '（名前なし）';
  card.querySelector('.state').textContent = WORDS[board.verdict] || board.verdict;
  const shown = FACTS_OF[board.verdict];
  for (const [name, , text] of FACTS) {
    const value = shown && !shown.includes(name) ? '' : text(board);
    const node = card.querySelector('dd.' + name);
    node.textContent = value;
    node.hidden = value === '';
    card.querySelector('dt.' + name).hidden = value === '';
  }
  card.querySelector('dd.error').classList.toggle('bad', typeof board.error === 'string');
  showPicture(card, board);
}

function keyOf(board) {
  return board.id;
}

function render(venue) {
  const main = document.getElementById('boards');
  const cards = new Map([...main.children].map(card => [card.dataset.key, card]));
  const seen = new Set();
  for (const board of venue.boards || []) {
    const key = keyOf(board);
    seen.add(key);
    const card = cards.get(key) || newCard(key);
    fill(card, board);
    main.append(card);  // in the server's order; moving a node does not rebuild it
  }
  for (const [key, card] of cards) if (!seen.has(key)) card.remove();
  renderProblem(venue);
  renderSummary(venue.boards || []);
}

function some(names, count) {
  return names.join('、') + (count > names.length ? ' ほか、計 ' + count + ' 件' : '');
}

function renderProblem(venue) {
  const notes = [];
  const copies = venue.copies || {};
  if ((venue.unanswered || []).length) {
    notes.push('読めなかった状態ファイル（最後に読めた状態を表示）: ' + some(venue.unanswered, copies.notRead));
  }
  if ((venue.damaged || []).length) {
    notes.push('壊れた状態ファイル（読みません）: ' + some(venue.damaged, copies.damaged));
  }
  if (copies.forged) notes.push('偽造の状態ファイル ' + copies.forged + ' 件。');
  if (copies.unread) {
    notes.push('状態ファイルが多すぎます（' + copies.listed + ' 件）。' + copies.unread + ' 件を読んでいません。');
  }
  if (venue.leftOut) notes.push('表示しきれない表示板 ' + venue.leftOut + ' 台（状態のよいもの）を省いています。');
  if (venue.expectedProblem) notes.push('表示板の一覧の問題: ' + venue.expectedProblem);
  if (venue.answering && !(venue.boards || []).length) notes.push('状態フォルダに表示板がありません。');
  const problem = document.getElementById('problem');
  problem.textContent = notes.join(' ');
  problem.hidden = notes.length === 0;
}

function renderSummary(boards) {
  const troubled = boards.filter(board => board.trouble);
  const names = troubled.map(board => board.name + '（' + (WORDS[board.verdict] || board.verdict) + '）');
  document.getElementById('summary').textContent = '表示板 ' + boards.length + ' 台、' +
    (troubled.length ? '問題 ' + troubled.length + ' 台: ' + names.join('、') : 'すべて正常') +
    '（' + clockTime(shownAt) + ' 現在）';
  document.title = (troubled.length ? '(' + troubled.length + ') ' : '') + TITLE;
}

// Nothing shown is known to be current once the server has not answered,
// or has not read the folder, for two polls.
function judgeFreshness() {
  const stale = lastGood === null || Date.now() - lastGood > STALE_MS;
  document.body.classList.toggle('unknown', stale);
  const banner = document.getElementById('unknown');
  banner.hidden = !stale;
  if (!stale) return;
  const from = failingSince || folderSince;
  const since = from ? '（' + clockTime(new Date(from)) + ' から）' : '';
  const cause = failingSince ? 'サーバーに接続できません'
    : folderFailure ? '状態フォルダが読めません（' + folderFailure + '）' : '状態フォルダが応答しません';
  banner.textContent = cause + since + '。表示は' + (shownAt ? ' ' + clockTime(shownAt) + ' の' : '') +
    '古い情報で、各表示板の今の状態は不明です。';
  document.title = '(?) ' + TITLE;
}

async function poll() {
  try {
    const answer = await fetch('venue.json', { cache: 'no-store' });
    if (!answer.ok) throw new Error(String(answer.status));
    const venue = await answer.json();
    failingSince = null;
    folderSince = venue.notAnsweringSince ? Date.parse(venue.notAnsweringSince) : null;
    folderFailure = venue.failure || null;
    if (typeof venue.secondsSinceRead === 'number') {
      lastGood = Date.now() - venue.secondsSinceRead * 1000;
    }
    shownAt = new Date();
    render(venue);
  } catch (failure) {
    if (failingSince === null) failingSince = Date.now();
  } finally {
    judgeFreshness();
    setTimeout(poll, POLL_MS);
  }
}

setInterval(judgeFreshness, 1000);
poll();
