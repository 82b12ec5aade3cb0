// tedious (Node.js's SQL Server client) against `vqsql serve`, once with
// encryption off and once with TLS (the server's self-signed certificate
// trusted): logins, batches, execSql (an RPC of sp_executesql) with typed
// parameters of every type and their NULLs, Chinese text in varchar and
// nvarchar, output parameters, callProcedure, the transaction manager's
// requests, errors with their numbers, PRINT messages and the cancel of a
// running query.
//
// Run by test_tedious.py against a server of its own, or by hand against a
// running one:
//   node tests/clients/test_tedious.js --port 1433 --password 'pw' [--host 127.0.0.1]
// (or VQ_TDS_HOST, VQ_TDS_PORT, VQ_TDS_PASSWORD). Exits 1 when a check failed.
'use strict';

const assert = require('node:assert/strict');
const { Connection, Request, TYPES, ISOLATION_LEVEL } = require('tedious');

const VOUCHER = '会计凭证';

function settings() {
  const out = {
    host: process.env.VQ_TDS_HOST || '127.0.0.1',
    port: Number(process.env.VQ_TDS_PORT || 0),
    password: process.env.VQ_TDS_PASSWORD || '',
    prefix: process.env.VQ_TDS_PREFIX || 'Ted',
  };
  const args = process.argv.slice(2);
  for (let i = 0; i + 1 < args.length; i += 2) {
    const name = args[i].replace(/^--/, '');
    if (!(name in out)) throw new Error('unknown argument ' + args[i]);
    out[name] = name === 'port' ? Number(args[i + 1]) : args[i + 1];
  }
  if (!out.port) throw new Error('no port: --port N or VQ_TDS_PORT');
  return out;
}

// ---- promises around tedious's callbacks ------------------------------

function connect(s, mode, extra = {}) {
  const config = {
    server: s.host,
    authentication: { type: 'default', options: { userName: 'sa', password: extra.password ?? s.password } },
    options: {
      port: s.port,
      encrypt: mode.encrypt,
      trustServerCertificate: true,
      connectTimeout: 10000,
      requestTimeout: extra.requestTimeout ?? 8000,   // a request never answered fails its check, not the run
      cancelTimeout: 2000,
      ...(extra.database ? { database: extra.database } : {}),
      ...(extra.tdsVersion ? { tdsVersion: extra.tdsVersion } : {}),
    },
  };
  return new Promise((resolve, reject) => {
    const connection = new Connection(config);
    connection.messages = [];
    const loginErrors = [];
    connection.on('infoMessage', (info) => connection.messages.push(info));
    connection.on('errorMessage', (error) => loginErrors.push(error));
    connection.on('error', () => {});   // a dropped socket after the tests is not a check of its own
    connection.connect((err) => {
      if (!err) return resolve(connection);
      err.serverErrors = loginErrors;   // tedious reports the last; SQL Server may send several
      reject(err);
    });
  });
}

// Runs a request; resolves with { sets: [[row...]...], rowCount, outputs,
// returnStatus } (returnStatus: the last procedure's, for RPCs).
// Each row is an array of plain values.
function run(connection, how, sql, parameters = [], outputs = []) {
  return new Promise((resolve, reject) => {
    const sets = [];
    const returned = {};
    let returnStatus;
    const request = new Request(sql, (err, rowCount) => {
      if (err) reject(err);
      else resolve({ sets, rowCount, outputs: returned, returnStatus });
    });
    for (const [name, type, value, options] of parameters) request.addParameter(name, type, value, options);
    for (const [name, type, options] of outputs) request.addOutputParameter(name, type, undefined, options);
    request.on('columnMetadata', () => sets.push([]));
    request.on('row', (columns) => sets[sets.length - 1].push(columns.map((c) => c.value)));
    request.on('returnValue', (name, value) => { returned[name] = value; });
    request.on('doneProc', (rowCount, more, status) => { returnStatus = status; });
    if (how === 'batch') connection.execSqlBatch(request);
    else if (how === 'rpc') connection.execSql(request);
    else connection.callProcedure(request);
  });
}

const batch = (c, sql) => run(c, 'batch', sql);
const rpc = (c, sql, parameters, outputs) => run(c, 'rpc', sql, parameters, outputs);

async function scalar(c, sql) {
  const result = await batch(c, sql);
  return result.sets[0][0][0];
}

function transaction(connection, verb, ...args) {
  return new Promise((resolve, reject) => {
    connection[verb + 'Transaction']((err) => (err ? reject(err) : resolve()), ...args);
  });
}

function close(connection) {
  return new Promise((resolve) => {
    if (connection.closed) return resolve();
    connection.on('end', resolve);
    connection.close();
  });
}

async function withConnection(s, mode, body, extra) {
  const c = await connect(s, mode, extra);
  try {
    return await body(c);
  } finally {
    await close(c);
  }
}

async function expectError(promise, number, what) {
  let error = null;
  try {
    await promise;
  } catch (e) {
    error = e;
  }
  assert.ok(error, `${what}: no error, expected ${number}`);
  assert.equal(error.number, number, `${what}: the error number (message: ${error.message})`);
  return error;
}

// ---- the checks --------------------------------------------------------

// [SQL type, tedious type, value sent, value expected back, options]
const TYPE_CASES = [
  ['bit', TYPES.Bit, true, true],
  ['tinyint', TYPES.TinyInt, 255, 255],
  ['smallint', TYPES.SmallInt, -32768, -32768],
  ['int', TYPES.Int, -2147483648, -2147483648],
  ['bigint', TYPES.BigInt, '9223372036854775807', '9223372036854775807'],
  ['decimal(18,4)', TYPES.Decimal, 1234.5678, 1234.5678, { precision: 18, scale: 4 }],
  ['numeric(10,2)', TYPES.Numeric, -12345678.91, -12345678.91, { precision: 10, scale: 2 }],
  ['money', TYPES.Money, 12345.6789, 12345.6789],
  ['smallmoney', TYPES.SmallMoney, -214748.3648, -214748.3648],
  ['real', TYPES.Real, 1.5, 1.5],
  ['float', TYPES.Float, 0.1, 0.1],
  ['datetime', TYPES.DateTime, new Date(Date.UTC(2024, 1, 29, 23, 59, 59, 997)),
    new Date(Date.UTC(2024, 1, 29, 23, 59, 59, 997))],
  ['smalldatetime', TYPES.SmallDateTime, new Date(Date.UTC(2024, 1, 29, 23, 59)),
    new Date(Date.UTC(2024, 1, 29, 23, 59))],
  ['char(6)', TYPES.Char, 'ab', 'ab    ', { length: 6 }],
  ['varchar(20)', TYPES.VarChar, VOUCHER, VOUCHER],
  ['nchar(4)', TYPES.NChar, '凭证', '凭证  ', { length: 4 }],
  ['nvarchar(20)', TYPES.NVarChar, VOUCHER, VOUCHER],
  ['text', TYPES.Text, '摘要 ' + 'x'.repeat(5000), '摘要 ' + 'x'.repeat(5000)],
  ['ntext', TYPES.NText, '摘要文本 ' + 'y'.repeat(5000), '摘要文本 ' + 'y'.repeat(5000)],
  ['image', TYPES.Image, Buffer.from([0, 255, 16]), Buffer.from([0, 255, 16])],
  // No length option: tedious would then announce that many bytes but send
  // only the value's.
  ['binary(4)', TYPES.Binary, Buffer.from([1, 2]), Buffer.from([1, 2, 0, 0])],
  ['varbinary(10)', TYPES.VarBinary, Buffer.from([0xde, 0xad, 0xbe, 0xef]), Buffer.from([0xde, 0xad, 0xbe, 0xef])],
];

// One table per type: a typed parameter and a typed NULL inserted with
// execSql, read back with a plain batch and with execSql.
async function checkType(c, s, index) {
  const [sqlType, type, value, expected, options] = TYPE_CASES[index];
  const table = `dbo.${s.prefix}Type${index}`;
  await batch(c, `create table ${table} (Id int not null primary key, V ${sqlType} null)`);
  await rpc(c, `insert into ${table} (Id, V) values (1, @v)`, [['v', type, value, options]]);
  await rpc(c, `insert into ${table} (Id, V) values (2, @v)`, [['v', type, null, options]]);
  const viaBatch = await batch(c, `select V from ${table} order by Id`);
  assert.deepEqual(viaBatch.sets[0], [[expected], [null]], `${sqlType}: the values read by a batch`);
  const viaRpc = await rpc(c, `select V from ${table} where Id = @id`, [['id', TYPES.Int, 1]]);
  assert.deepEqual(viaRpc.sets[0], [[expected]], `${sqlType}: the value read by execSql`);
}

async function checkChinese(c, s) {
  const table = `dbo.${s.prefix}Texts`;
  await batch(c, `create table ${table} (Id int not null primary key, V varchar(20) null, N nvarchar(20) null)`);
  await batch(c, `insert into ${table} values (1, '${VOUCHER}', N'${VOUCHER}')`);
  await rpc(c, `insert into ${table} values (2, @v, @n)`,
    [['v', TYPES.VarChar, VOUCHER], ['n', TYPES.NVarChar, VOUCHER]]);
  const result = await batch(c, `select V, N, datalength(V), convert(varbinary(20), V) from ${table} order by Id`);
  const gbk = Buffer.from('bbe1bcc6c6bed6a4', 'hex');   // 会计凭证 in GBK
  assert.deepEqual(result.sets[0], [[VOUCHER, VOUCHER, 8, gbk], [VOUCHER, VOUCHER, 8, gbk]],
    'the varchar and nvarchar read back (row 1 from a batch, row 2 from typed parameters)');
  const found = await rpc(c, `select Id from ${table} where V = @v and N = @n order by Id`,
    [['v', TYPES.VarChar, VOUCHER], ['n', TYPES.NVarChar, VOUCHER]]);
  assert.deepEqual(found.sets[0], [[1], [2]], 'rows found by Chinese parameters');
}

async function checkLogin(c) {
  assert.equal(await scalar(c, 'select db_name()'), 'master', 'the database after the login');
  assert.match(await scalar(c, 'select @@VERSION'), /10\.0\./, '@@VERSION');
}

async function checkLoginWithDatabase(s, mode) {
  const name = `${s.prefix}Db`;
  await withConnection(s, mode, (c) => batch(c, `create database ${name}`));
  await withConnection(s, mode, async (c) => {
    assert.equal(await scalar(c, 'select db_name()'), name, 'db_name() after a login with a database');
  }, { database: name });
}

async function checkWrongPassword(s, mode) {
  let error = null;
  try {
    await withConnection(s, mode, () => null, { password: 'not the password' });
  } catch (e) {
    error = e;
  }
  assert.ok(error, 'a wrong password was accepted');
  assert.equal(error.code, 'ELOGIN', `the error's code (message: ${error.message})`);
  assert.match(error.message, /Login failed for user 'sa'\./, 'the message of the refused login');
}

async function checkMissingDatabase(s, mode) {
  let error = null;
  try {
    await withConnection(s, mode, () => null, { database: 'NoSuchDatabase' });
  } catch (e) {
    error = e;
  }
  assert.ok(error, 'a login into a missing database was accepted');
  const sent = (error.serverErrors || []).map((m) => `${m.number} ${m.message}`);
  assert.ok(sent.includes('4060 Cannot open database "NoSuchDatabase" requested by the login. The login failed.'),
    `4060 among the login's errors: ${JSON.stringify(sent)}`);
  assert.match(error.message, /Login failed for user 'sa'\./, 'the message tedious reports');
}

const ERROR_CASES = [
  ['invalid object', 'select * from dbo.NoSuchTable', 208],
  ['divide by zero', 'select 1 / 0', 8134],
  ['syntax error', 'select 1 +', 102],
];

async function checkErrors(c, s) {
  const table = `dbo.${s.prefix}Keys`;
  await batch(c, `create table ${table} (Id int not null primary key)`);
  await batch(c, `insert into ${table} values (1)`);
  const problems = [];
  const cases = [...ERROR_CASES, ['duplicate key', `insert into ${table} values (1)`, 2627]];
  for (const [what, sql, number] of cases) {
    for (const how of ['batch', 'rpc']) {
      try {
        await expectError(run(c, how, sql), number, `${what} (${how})`);
        assert.equal(await scalar(c, 'select 7'), 7, `the connection after ${what} (${how})`);
      } catch (e) {
        problems.push(e.message);
      }
    }
  }
  const error = await expectError(rpc(c, `insert into ${table} values (@id)`, [['id', TYPES.Int, 1]]), 2627,
    'a duplicate key through a typed parameter');
  assert.match(error.message, /PRIMARY KEY/, 'the text of 2627');
  assert.deepEqual(problems, [], 'errors');
}

async function checkMessages(c) {
  c.messages.length = 0;
  await batch(c, `print N'你好 ${VOUCHER}'`);
  await rpc(c, 'print @text', [['text', TYPES.NVarChar, 'note 3']]);
  const texts = c.messages.map((m) => m.message);
  assert.ok(texts.includes(`你好 ${VOUCHER}`), `the PRINT among ${JSON.stringify(texts)}`);
  assert.ok(texts.includes('note 3'), `the PRINT of a parameter among ${JSON.stringify(texts)}`);
}

async function checkResultSetsAndCounts(c, s) {
  const many = await batch(c, "select 1 as a; select N'x' as b union all select N'y'");
  assert.deepEqual(many.sets, [[[1]], [['x'], ['y']]], 'two result sets of one batch');
  const table = `dbo.${s.prefix}Counts`;
  await batch(c, `create table ${table} (Id int not null primary key, Flag int not null)`);
  await batch(c, `insert into ${table} select 1, 0 union all select 2, 0 union all select 3, 1`);
  const updated = await rpc(c, `update ${table} set Flag = @f where Flag = 0`, [['f', TYPES.Int, 9]]);
  assert.equal(updated.rowCount, 2, 'the row count of an update through execSql');
}

async function checkOutputParameters(c) {
  const viaExecSql = await rpc(c, 'set @out = @in * 2; set @text = @name + N\'!\'',
    [['in', TYPES.Int, 21], ['name', TYPES.NVarChar, VOUCHER]],
    [['out', TYPES.Int], ['text', TYPES.NVarChar, { length: 40 }]]);
  assert.deepEqual(viaExecSql.outputs, { out: 42, text: VOUCHER + '!' }, 'output parameters of execSql');

  const viaProcedure = await run(c, 'procedure', 'sp_executesql',
    [['statement', TYPES.NVarChar, 'select @n * 3 as tripled'], ['params', TYPES.NVarChar, '@n int'],
      ['n', TYPES.Int, 5]]);
  assert.deepEqual(viaProcedure.sets, [[[15]]], 'callProcedure(sp_executesql)');
}

async function checkProcedureOfOnesOwn(c, s) {
  const procedure = `dbo.${s.prefix}Balance`;
  await batch(c, `create procedure ${procedure} @Debit money, @Credit money, @Difference money output, ` +
    `@Note nvarchar(30) = N'${VOUCHER}' output as\n` +
    'set @Difference = @Debit - @Credit\n' +
    "set @Note = @Note + N'?'\n" +
    'if @Difference <> 0 return 1\n' +
    'return 0');
  const unbalanced = await run(c, 'procedure', procedure,
    [['Debit', TYPES.Money, 100.5], ['Credit', TYPES.Money, 80]],
    [['Difference', TYPES.Money]]);
  assert.equal(unbalanced.returnStatus, 1, 'the RETURN value as the RPC\'s return status');
  assert.deepEqual(unbalanced.outputs, { Difference: 20.5 }, 'the OUTPUT parameter, @Note left to its default');
  const balanced = await run(c, 'procedure', procedure,
    [['Debit', TYPES.Money, 7], ['Credit', TYPES.Money, 7], ['Note', TYPES.NVarChar, 'x']],
    [['Difference', TYPES.Money]]);
  assert.equal(balanced.returnStatus, 0, 'RETURN 0');
  assert.equal(balanced.outputs.Difference, 0, 'the OUTPUT parameter of the second call');
}

async function checkTransactions(s, mode) {
  const table = `dbo.${s.prefix}Ledger`;
  await withConnection(s, mode, async (c) => {
    await batch(c, `create table ${table} (Id int not null primary key, Note nvarchar(20) null)`);
    await transaction(c, 'begin');
    await rpc(c, `insert into ${table} values (@id, @note)`, [['id', TYPES.Int, 1], ['note', TYPES.NVarChar, 'gone']]);
    assert.equal(await scalar(c, 'select @@trancount'), 1, '@@TRANCOUNT inside beginTransaction');
    await transaction(c, 'rollback');
    assert.equal(await scalar(c, 'select @@trancount'), 0, '@@TRANCOUNT after rollbackTransaction');
    assert.equal(await scalar(c, `select count(*) from ${table}`), 0, 'the rolled back row');

    await transaction(c, 'begin', 'named', ISOLATION_LEVEL.READ_COMMITTED);
    await rpc(c, `insert into ${table} values (@id, @note)`, [['id', TYPES.Int, 2], ['note', TYPES.NVarChar, VOUCHER]]);
    // Another connection does not see the uncommitted row (or waits for
    // it and gives up with 1222).
    await withConnection(s, mode, async (other) => {
      await batch(other, 'set lock_timeout 1000');
      try {
        assert.equal(await scalar(other, `select count(*) from ${table} where Id = 2`), 0,
          'another connection counting an uncommitted row');
      } catch (e) {
        if (e.number !== 1222) throw e;
      }
    });
    await transaction(c, 'commit');
    assert.equal(await scalar(c, 'select @@trancount'), 0, '@@TRANCOUNT after commitTransaction');
  });
  await withConnection(s, mode, async (c) => {
    const rows = await batch(c, `select Id, Note from ${table}`);
    assert.deepEqual(rows.sets[0], [[2, VOUCHER]], 'the committed row, from a new connection');
  });
}

// A query of a billion rows, given up by the client after a second: tedious
// sends an attention, the server must stop the batch, acknowledge it and
// go on serving the connection.
async function checkCancel(s, mode) {
  const c = await connect(s, mode, { requestTimeout: 1000 });
  try {
    const table = `dbo.${s.prefix}Digits`;
    await batch(c, `create table ${table} (D int not null primary key)`);
    await batch(c, `insert into ${table} ` + [...Array(10).keys()].map((d) => `select ${d}`).join(' union all '));
    const joins = 'abcdefghi'.split('').map((t) => `${table} ${t}`).join(' cross join ');
    const started = Date.now();
    let error = null;
    try {
      await batch(c, `select count(*) from ${joins}`);
    } catch (e) {
      error = e;
    }
    assert.ok(error, 'the query of a billion rows finished within its time-out');
    // "Failed to cancel request" instead: no acknowledgement tedious took
    // as one. It reads the reply to the cancelled request as one message
    // and waits for the DONE with the attention flag in the next.
    assert.match(error.message, /^Timeout: Request failed to complete in 1000ms/,
      `the error after the time-out: ${error.message} (${error.code})`);
    assert.ok(Date.now() - started < 2900, `the server took ${Date.now() - started} ms to acknowledge the attention`);
    assert.equal(await scalar(c, 'select 8'), 8, 'the connection after the cancelled query');
  } finally {
    await close(c);
  }
}

// Values past 4000 characters or 8000 bytes: tedious sends them as
// nvarchar(max), varchar(max) and varbinary(max), in PLP chunks.
async function checkLongParameters(c) {
  const cases = [
    [TYPES.NVarChar, '账'.repeat(4001), 8002],
    [TYPES.NVarChar, 'x'.repeat(50000), 100000],
    [TYPES.VarChar, 'y'.repeat(9000), 9000],
    [TYPES.VarBinary, Buffer.alloc(9000, 7), 9000],
  ];
  for (const [type, value, bytes] of cases) {
    const result = await rpc(c, 'select datalength(@v) as n, @v as v', [['v', type, value]]);
    assert.equal(result.sets[0][0][0], bytes, `datalength of a ${type.name} of ${value.length}`);
    assert.deepEqual(result.sets[0][0][1], value, `a ${type.name} of ${value.length} read back`);
  }
}

// Each TDS version tedious speaks: a login and typed parameters.
async function checkTdsVersions(s, mode) {
  const problems = [];
  for (const tdsVersion of ['7_1', '7_2', '7_3_A', '7_3_B', '7_4']) {
    try {
      await withConnection(s, mode, async (c) => {
        const result = await rpc(c, 'select @text as t, @when as w, @amount as a',
          [['text', TYPES.NVarChar, VOUCHER], ['when', TYPES.DateTime, new Date(Date.UTC(2024, 1, 29, 1, 2, 3))],
            ['amount', TYPES.Decimal, 12.34, { precision: 10, scale: 2 }]]);
        assert.deepEqual(result.sets, [[[VOUCHER, new Date(Date.UTC(2024, 1, 29, 1, 2, 3)), 12.34]]], 'the row');
      }, { tdsVersion });
    } catch (e) {
      problems.push(`${tdsVersion}: ${e.message}`);
    }
  }
  assert.deepEqual(problems, [], 'TDS versions');
}

// ---- the runner ---------------------------------------------------------

async function main() {
  const s = settings();
  const failures = [];
  const check = async (name, body) => {
    const started = Date.now();
    try {
      await body();
      console.log(`ok   ${name} (${((Date.now() - started) / 1000).toFixed(1)} s)`);
    } catch (e) {
      failures.push(name);
      console.log(`FAIL ${name} (${((Date.now() - started) / 1000).toFixed(1)} s)`);
      const detail = e instanceof assert.AssertionError ? e.message
        : `${e.name}: ${e.message}${e.number !== undefined ? ` (number ${e.number})` : ''}` +
          `${e.code ? ` [${e.code}]` : ''}`;
      for (const line of detail.split('\n')) console.log('     ' + line);
    }
  };

  const modes = [{ name: 'encrypt off', encrypt: false, tag: 'Plain' },
    { name: 'TLS', encrypt: true, tag: 'Tls' }];
  for (const mode of modes) {
    const ms = { ...s, prefix: s.prefix + mode.tag };
    let c = null;
    await check(`${mode.name}: login`, async () => {
      c = await connect(ms, mode);
      await checkLogin(c);
    });
    await check(`${mode.name}: login with a database`, () => checkLoginWithDatabase(ms, mode));
    await check(`${mode.name}: wrong password`, () => checkWrongPassword(ms, mode));
    await check(`${mode.name}: missing database`, () => checkMissingDatabase(ms, mode));
    await check(`${mode.name}: TDS 7.1 to 7.4`, () => checkTdsVersions(ms, mode));
    if (!c) continue;
    // The checks share one connection; one that ends it (a request the
    // server refuses by closing) is followed by a new one, so each check
    // reports its own failure.
    const shared = async () => {
      if (c.closed || c.state === c.STATE.FINAL) c = await connect(ms, mode);
      return c;
    };
    for (let i = 0; i < TYPE_CASES.length; ++i)
      await check(`${mode.name}: type ${TYPE_CASES[i][0]} as a typed parameter and its NULL`,
        async () => checkType(await shared(), ms, i));
    await check(`${mode.name}: Chinese in varchar and nvarchar`, async () => checkChinese(await shared(), ms));
    await check(`${mode.name}: long values as (max) parameters`, async () => checkLongParameters(await shared()));
    await check(`${mode.name}: errors with their numbers`, async () => checkErrors(await shared(), ms));
    await check(`${mode.name}: PRINT messages, from a batch and from execSql`,
      async () => checkMessages(await shared()));
    await check(`${mode.name}: result sets and row counts`, async () => checkResultSetsAndCounts(await shared(), ms));
    await check(`${mode.name}: output parameters and callProcedure`, async () => checkOutputParameters(await shared()));
    await check(`${mode.name}: a procedure of one's own: RETURN and OUTPUT`,
      async () => checkProcedureOfOnesOwn(await shared(), ms));
    await check(`${mode.name}: transactions (TDS transaction manager)`, () => checkTransactions(ms, mode));
    await check(`${mode.name}: a query cancelled by the client's time-out`, () => checkCancel(ms, mode));
    await close(c);
  }
  console.log(`tedious: ${failures.length} failed`);
  for (const name of failures) console.log('  failed: ' + name);
  process.exitCode = failures.length ? 1 : 0;
}

main().catch((e) => {
  console.log('FAIL tedious run: ' + (e && e.stack ? e.stack : e));
  process.exitCode = 1;
});
