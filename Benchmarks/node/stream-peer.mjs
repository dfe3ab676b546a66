// The Node.js peer of TalvaneStreamDeltaBenchmark: the same streamed body, fed in event-sized
// chunks through TextDecoder, the general-purpose SSE parser eventsource-parser and V8's JSON.parse,
// collecting each choice's delta.content as the plugin does. Prints the median milliseconds of
// one pass over the body: node stream-peer.mjs <body-file> <passes>
import { readFileSync } from 'node:fs';
import { createParser } from 'eventsource-parser';

const [, , bodyPath, passesArg] = process.argv;
const body = readFileSync(bodyPath);
const passes = Number(passesArg ?? 50);

// Event-sized chunks: each ends after the blank line that ends its event, as the C++ side slices.
const chunks = [];
let start = 0;
for (let i = 0; i + 1 < body.length; i++) {
	if (body[i] === 10 && body[i + 1] === 10) {
		chunks.push(body.subarray(start, i + 2));
		start = i + 2;
		i++;
	}
}
if (start < body.length) chunks.push(body.subarray(start));

function pass() {
	let text = '';
	let reasoning = '';
	const decoder = new TextDecoder();
	const parser = createParser({
		onEvent(event) {
			if (event.data === '[DONE]') return;
			const document = JSON.parse(event.data);
			if (document.error != null) return;
			for (const choice of document.choices ?? []) {
				const delta = choice.delta ?? {};
				if (typeof delta.content === 'string') text += delta.content;
				if (typeof delta.reasoning_content === 'string') reasoning += delta.reasoning_content;
			}
		},
	});
	for (const chunk of chunks) parser.feed(decoder.decode(chunk, { stream: true }));
	parser.feed(decoder.decode());
	return text.length + reasoning.length;
}

let sink = 0;
for (let i = 0; i < 20; i++) sink += pass();
const times = [];
for (let i = 0; i < passes; i++) {
	const begin = process.hrtime.bigint();
	sink += pass();
	times.push(Number(process.hrtime.bigint() - begin) / 1e6);
}
times.sort((a, b) => a - b);
console.log(JSON.stringify({ median_ms: times[times.length >> 1], passes, chunks: chunks.length, sink }));
