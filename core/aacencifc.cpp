#include "core/aacencifc.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/AACBL_API.h"
#include "core/bit_enc.h"
#include "core/loopmain.h"
#include "core/ms_stereo.h"
#include "core/psymain.h"
#include "core/qc_data.h"
#include "core/uci.h"

struct AacEncoder {
  AacEncConfig cfg;
  PsyKernel* psy;
  PsyOut psyOut;
  QcFrame qc;
  QcLoopState loop;
  FrameWriter writer;
  MsOptions ms;
  int grants[PSY_MAX_CHANNELS];
};

ErrorRecord* AacEncCreate(const AacEncConfig* cfg, UciStore* options, AacEncoder** out, AacEncInfo* info) {
  *out = nullptr;
  if (!cfg || cfg->frameLength != 1024) return ERROR_NEW("AacEncCreate", "invalid procedure parameters");
  AacEncoder* enc = static_cast<AacEncoder*>(std::calloc(1, sizeof(AacEncoder)));
  if (!enc) return ERROR_NEW("AacEncCreate", "out of memory");
  enc->cfg = *cfg;
  PsyElement elements[PSY_MAX_ELEMENTS];
  for (int i = 0; i < cfg->channels.nElements; ++i) {
    const ElementInfo& e = cfg->channels.elements[i];
    elements[i].type = e.type;
    elements[i].instanceTag = e.instanceTag;
    elements[i].channel[0] = e.channel[0];
    elements[i].channel[1] = e.channel[1] < 0 ? 0 : e.channel[1];
    elements[i].tools = e.tools;
    elements[i].commonWindowMode = 2;
  }
  PsyInit init;
  init.nChannels = cfg->channels.nChannels;
  init.frameLength = cfg->frameLength;
  init.sampleRate = cfg->sampleRate;
  init.bitrate = cfg->bitrate;
  init.nElements = cfg->channels.nElements;
  init.elements = elements;
  init.tnsCoefRes = 0;
  init.options = options;
  ErrorRecord* e = PsyCreate(&init, &enc->psy);
  if (e) {
    AacEncDestroy(enc);
    return ERROR_PASS(e, "AacEncCreate");
  }
  float bandwidth = PsyGetBandwidth(enc->psy);
  e = FrameWriterCreate(&enc->writer, cfg->sampleRate, cfg->bitrate, bandwidth, &cfg->channels, cfg->adts, options);
  if (e) {
    AacEncDestroy(enc);
    return ERROR_PASS(e, "AacEncCreate");
  }
  QcLoopInit(&enc->loop);
  UciReadInt(options, "eah", 0, 1, "Quantize all sfb with thr < nrg", &enc->loop.eah);
  enc->ms.msFac = 1.0f;
  enc->ms.msMask = 1;
  enc->ms.msDebug = 0;
  int noMask = 0;
  UciReadFlag(options, "no-ms-mask", "disable the ms-mask feature",
              "the ms mask feature tries to use msAllOn or msAllOff instead of using a msMask when appropriate",
              &noMask);
  if (noMask) enc->ms.msMask = 0;
  UciReadFloats(options, "msFac", 1, 0.0f, 10000.0f, "prefer MS  factor, bigger means more MS , default: 1 ", " ",
                &enc->ms.msFac);
  UciReadInt(options, "msDeb", 0, 2, "ms debug mode: 0: no debug 1: all sfb ms on 2: half of sfb ms on", &enc->ms.msDebug);
  if (info) {
    info->sampleRate = static_cast<float>(cfg->sampleRate);
    info->bandwidth = bandwidth;
    // The transform of a frame covers the two frames before it; the frame
    // itself is only the block switching's look-ahead.
    info->delay = cfg->frameLength;
    info->maxOutputBytes = 768 * cfg->channels.nChannels;
    info->bitrate = cfg->bitrate;
  }
  *out = enc;
  return nullptr;
}

void AacEncDestroy(AacEncoder* enc) {
  if (!enc) return;
  PsyDestroy(enc->psy);
  FrameWriterDestroy(&enc->writer);
  std::free(enc);
}

ErrorRecord* AacEncEncodeFrame(AacEncoder* enc, const float* pcm, unsigned char* out, int* nBytes) {
  *nBytes = 0;
  ErrorRecord* e = PsyProcess(enc->psy, pcm, 1, &enc->psyOut);
  if (e) return ERROR_PASS(e, "AacEncEncodeFrame");
  e = AacEncCodeFrame(enc, &enc->psyOut, out, nBytes);
  if (e) return ERROR_PASS(e, "AacEncEncodeFrame");
  return nullptr;
}

ErrorRecord* AacEncCodeFrame(AacEncoder* enc, PsyOut* psy, unsigned char* out, int* nBytes) {
  *nBytes = 0;
  ErrorRecord* e = nullptr;
  const ChannelConfig& cc = enc->cfg.channels;
  QcFrame* qc = &enc->qc;
  qc->nChannels = cc.nChannels;
  qc->nElements = cc.nElements;

  // M/S decision per channel pair with a common window.
  int estimate = 3;  // END element
  for (int i = 0; i < cc.nElements; ++i) {
    const ElementInfo& el = cc.elements[i];
    QcElement& q = qc->element[i];
    q.type = el.type;
    q.instanceTag = el.instanceTag;
    q.nChannels = el.type == ID_CPE ? 2 : 1;
    q.channel[0] = el.channel[0];
    q.channel[1] = el.channel[1];
    q.commonWindow = 0;
    q.msMaskPresent = 0;
    std::memset(q.msUsed, 0, sizeof(q.msUsed));
    if (el.type == ID_LFE && psy->channel[el.channel[0]].windowSequence != ONLY_LONG)
      return ERROR_NEW("AacEncCodeFrame", "encoder error: LFE must be long window");
    if (el.type == ID_CPE) {
      PsyOutPair* pair = nullptr;
      for (int k = 0; k < psy->nElements; ++k)
        if (psy->element[k].type == ID_CPE && psy->element[k].channel[0] == el.channel[0]) pair = &psy->element[k].pair;
      if (pair && pair->commonWindow) {
        q.commonWindow = 1;
        if ((el.tools & TOOL_MS) && pair->valid) {
          e = MsStereoProcess(&enc->ms, pair, &psy->channel[el.channel[0]], &psy->channel[el.channel[1]], q.msUsed,
                              &q.msMaskPresent);
          if (e) return ERROR_PASS(e, "AacEncCodeFrame");
        }
      }
    }
    estimate += ElementSideBitsEstimate(&el, psy, q.msMaskPresent);
  }

  int frameBits = FrameWriterBeginFrame(&enc->writer);
  int available = frameBits - estimate;
  e = DistributeBits(&enc->writer, psy, estimate, available, enc->grants);
  if (e) return ERROR_PASS(e, "AacEncCodeFrame");

  int used = 0, granted = 0;
  for (int i = 0; i < cc.nElements; ++i) {
    const ElementInfo& el = cc.elements[i];
    QcElement& q = qc->element[i];
    PsyOutChannel* pch[2] = {&psy->channel[el.channel[0]], q.nChannels == 2 ? &psy->channel[el.channel[1]] : nullptr};
    QcChannel* qch[2] = {&qc->channel[el.channel[0]], q.nChannels == 2 ? &qc->channel[el.channel[1]] : nullptr};
    int grant = 0;
    for (int c = 0; c < q.nChannels; ++c) grant += enc->grants[el.channel[c]];
    int elemUsed = 0;
    e = QcQuantizeElement(&enc->loop, i, pch, qch, q.nChannels, q.commonWindow, grant, &elemUsed);
    if (e) return ERROR_PASS(e, "AacEncCodeFrame");
    if (q.commonWindow)
      q.msMaskPresent = MsMaskPresentFor(q.msUsed, qch[0]->maxSfb, qch[0]->groups, qch[0]->sfbPerGroup);
    used += elemUsed;
    granted += grant;
  }
  int side = 3;
  for (int i = 0; i < cc.nElements; ++i) side += ElementSideBits(&qc->element[i], qc->channel);
  qc->sideBits = side;
  qc->usedBits = used;
  qc->grantedBits = granted;
  e = FrameWriterWrite(&enc->writer, qc, out, nBytes);
  if (e) return ERROR_PASS(e, "AacEncCodeFrame");
  return nullptr;
}

// ---------------------------------------------------------------------------
// Stream set-up

namespace {

const int kBitrates[] = {8000,  10000, 12000,  14000,  16000,  20000,  24000,  28000,  32000,  40000,  48000,
                         56000, 64000, 80000, 96000, 112000, 128000, 160000, 192000, 224000, 256000, 320000};

bool SupportedBitrate(uint32_t b) {
  for (int v : kBitrates)
    if (static_cast<uint32_t>(v) == b) return true;
  return false;
}

}  // namespace

ErrorRecord* AacRunOptionsCreate(int argc, const char* const* argv, const ParameterSet* row, const AacOption* extra,
                                 int nExtra, UciStore** store) {
  *store = nullptr;
  if (UciCreate(argc, argv, store) != UCI_OK) return ERROR_NEW("AacRunOptionsCreate", "uci failure");
  int rc = UCI_OK;
  if (row && (row->flags & PSET_FLAG_EAH)) rc = UciSetValue(*store, "eah", "1");
  if (row && row->rpmin >= 0 && rc == UCI_OK) {
    char text[16];
    std::snprintf(text, sizeof(text), "%d", row->rpmin);
    rc = UciSetValue(*store, "rpmin", text);
  }
  for (int i = 0; i < nExtra && rc == UCI_OK; ++i) rc = UciSetValue(*store, extra[i].name, extra[i].value);
  if (rc != UCI_OK) {
    UciDestroy(store);
    return ERROR_NEW("AacRunOptionsCreate", "uci failure");
  }
  return nullptr;
}

int AacSetupStream(StreamParams* sp, AacRun* run, const AacOption* extra, int nExtra) {
  std::memset(run, 0, sizeof(*run));
  if (sp->inputRate != 44100 && sp->inputRate != 48000) return SETUP_BAD_RATE;
  if (sp->bitsPerSample < 1 || sp->bitsPerSample > 32) return SETUP_BAD_BITS;
  if (!SupportedBitrate(sp->bitrate)) return SETUP_BAD_BITRATE;
  if ((sp->channels == 1 && sp->bitrate < 8000) || (sp->channels == 2 && sp->bitrate < 16000) ||
      ((sp->channels == 5 || sp->channels == 6) && sp->bitrate < 128000))
    return SETUP_BITRATE_TOO_LOW;
  if (sp->channels == 1 && sp->bitrate >= 320000) return SETUP_BITRATE_TOO_HIGH;
  if (sp->streamFormat > 2) return SETUP_BAD_STREAM_FORMAT;
  if (sp->channelOrder > 2) return SETUP_BAD_CHANNEL_ORDER;
  int configNumber = ConfigForChannels(sp->channels);
  if (configNumber == 0) return SETUP_BAD_CHANNELS;

  run->streamType = (sp->streamFormat == 1 || sp->streamFormat == 2) ? 1 : 0;
  ParameterSet row;
  int codingRate = 0;
  ErrorRecord* e = ChooseParameterSet(configNumber, sp->channels, static_cast<int>(sp->bitrate),
                                      static_cast<int>(sp->inputRate), &row, &codingRate);
  if (e) {
    ErrorFree(e);
    return SETUP_ENCODER_FAILED;
  }
  int tools = (row.flags & PSET_FLAG_MS ? TOOL_MS : 0) | (row.flags & PSET_FLAG_TNS ? TOOL_TNS : 0);
  if (!BuildChannelConfig(configNumber, tools, &run->config)) return SETUP_ENCODER_FAILED;
  if (!BuildChannelMap(sp->channels, sp->channelOrder, run->channelMap)) return SETUP_BAD_CHANNEL_ORDER;

  // Options of this run: the store lives only while the encoder is created.
  UciStore* options = nullptr;
  e = AacRunOptionsCreate(0, nullptr, &row, extra, nExtra, &options);
  if (e) {
    ErrorFree(e);
    return SETUP_ENCODER_FAILED;
  }
  AacEncConfig cfg;
  cfg.sampleRate = codingRate;
  cfg.bitrate = static_cast<int>(sp->bitrate);
  cfg.frameLength = 1024;
  cfg.adts = run->streamType;
  cfg.channels = run->config;
  AacEncInfo info;
  e = AacEncCreate(&cfg, options, &run->encoder, &info);
  UciDestroy(&options);
  if (e) {
    ErrorFree(e);
    run->encoder = nullptr;
    return SETUP_ENCODER_FAILED;
  }
  double ratio = static_cast<double>(codingRate) / sp->inputRate;
  if (!(ratio >= 1.0 && info.bandwidth > 14499.0f)) {
    int rc = ResamplerCreate(static_cast<int>(sp->inputRate), codingRate, sp->channels, sp->channels * 1024,
                             info.bandwidth, &run->converter);
    if (rc != RESAMPLER_OK || !run->converter) {
      AacEncDestroy(run->encoder);
      run->encoder = nullptr;
      run->converter = nullptr;
      return SETUP_NO_CONVERTER;
    }
  }
  // Measured from the first input sample to the same sample in a decoder's
  // output: the converter's filter, the look-ahead frame and the transform's
  // frame of overlap.
  run->delay = (run->converter ? ResamplerDelay(run->converter) : 0) + info.delay + 1024;
  sp->codingRate = static_cast<uint32_t>(codingRate);
  sp->bitrate = static_cast<uint32_t>(info.bitrate);
  sp->bandwidth = static_cast<uint16_t>(info.bandwidth);
  run->configNumber = configNumber;
  run->maxOutputBytes = info.maxOutputBytes;
  return SETUP_OK;
}

void AacTeardownStream(AacRun* run) {
  ResamplerDestroy(run->converter);
  AacEncDestroy(run->encoder);
  run->converter = nullptr;
  run->encoder = nullptr;
}

int AacRunInputSamples(const AacRun* run) {
  if (run->converter) return ResamplerInputSamplesNeeded(run->converter);
  return run->config.nChannels * 1024;
}

ErrorRecord* AacRunEncodeFrame(AacRun* run, const float* input, unsigned char* out, int* nBytes) {
  const int nch = run->config.nChannels;
  const float* frame = input;
  if (run->converter) {
    ResamplerConvert(run->converter, input, run->resampled);
    frame = run->resampled;
  }
  for (int i = 0; i < 1024; ++i)
    for (int k = 0; k < nch; ++k) run->mapped[i * nch + k] = frame[i * nch + run->channelMap[k]];
  ErrorRecord* e = AacEncEncodeFrame(run->encoder, run->mapped, out, nBytes);
  if (e) return ERROR_PASS(e, "AacRunEncodeFrame");
  return nullptr;
}
