/*
 * UtilityAdapter.h - the media engine's one public interface: plain C functions and a record of
 * callbacks. Usable from C and from C++. Nothing else of the engine is public.
 *
 * The engine keeps the local videos as jobs in its own database, runs every job operation on its
 * job thread, uploads videos in resumable blocks with an upload thread, and reports every fact
 * through the status callback. It has no user interface.
 *
 * CONTRACT
 *
 * Threads.
 *   - Every function may be called from any thread, including while another thread is inside the
 *     engine. Call UtilityAdapter_Init once at start-up, before the engine's other work is needed;
 *     settings may be given before it (the edition word usually is).
 *   - Functions that only queue work for the job thread return at once: UtilityAdapter_JobOperation
 *     (every operation but 8), UtilityAdapter_EffectStart and UtilityAdapter_EffectStop.
 *     UtilityAdapter_StartJob(2) starts the upload thread and returns; UtilityAdapter_StartJob(1) and
 *     UtilityAdapter_StopJob(1) start and end an engine recording on the calling thread.
 *   - Functions that do their work on the calling thread and may take a while: operation 8 of
 *     UtilityAdapter_JobOperation, UtilityAdapter_ImportFile (which also runs the thumbnail callback
 *     on that thread) and UtilityAdapter_GetLocalMediaList run their SQL there;
 *     UtilityAdapter_SetExtData may open the database, and setting the video folder or the device name
 *     may make a blocking HTTP request to the service on the calling thread.
 *   - UtilityAdapter_Uninit and UtilityAdapter_StopJob(2) wait until the upload thread has finished its
 *     current pass.
 *   - The engine's threads are detached and live until the process ends (the job thread is never
 *     stopped); the engine's state is never destroyed, so they never outlive it.
 *
 * Callbacks.
 *   - The status callback runs on whichever engine thread produced the event (job thread, upload
 *     thread, a service-call thread, a folder scan, the live remux), or on the caller's thread during a
 *     synchronous facade call; the upload thread may hold its job lock meanwhile. The log callback runs
 *     on the thread that logs. The thumbnail callback runs on the thread that imports or scans a file.
 *   - A callback must return soon and must not wait for an engine thread. From inside a callback only
 *     the queueing functions (above) and UtilityAdapter_FreeString may be called.
 *   - Until UtilityAdapter_SetupCallbacks installs a status callback, events are kept in an internal
 *     list instead; they are not replayed later.
 *
 * Texts and ownership.
 *   - Every text is NUL-terminated UTF-8. A null text argument counts as the empty text.
 *   - Texts passed to the engine are copied before the call returns; the caller keeps ownership.
 *   - A text returned by the engine (UtilityAdapter_JobOperation, UtilityAdapter_ImportFile,
 *     UtilityAdapter_GetLocalMediaList) is allocated by the engine and belongs to the caller, who must
 *     release it exactly once with UtilityAdapter_FreeString (null is ignored). It stays valid until
 *     then.
 *   - Texts handed to a callback belong to the engine and are valid only during that call (never
 *     null); copy what you keep.
 *
 * Failures.
 *   - No function reports failure by its result. Results are answers only: null or an empty text
 *     means "nothing to answer" (no such job, an empty column), never an error code.
 *   - Every failure (a database that cannot be opened, a file that cannot be written, a refused
 *     upload) is reported as a status event (act 3: error, act 4: notice, with a text) and written to
 *     the engine's log.
 *
 * Status events: (act, status, msg, msg2).
 *   act 1  the local media list changed: status 4 rows added or removed, 5 row details changed.
 *   act 2  job facts: 1 live job created (msg: creation time), 3 recording ended (msg: bytes),
 *          5 a job got its upload token (msg: scid), 6/9/7 a recording job was created (msg: guid,
 *          job file, thumbnail).
 *   act 3  error (msg: the text to show), act 4 notice (msg: the text to show).
 *   act 5  per-job upload event, msg is the guid: 0 display text, 1 progress "0".."100", 2 new job
 *          status, 3 new title, 4 duration in seconds, 5 visibility, 6 scid.
 *   act 7  the job thread finished a queued operation (status: the operation code).
 *
 * Process-wide effects. UtilityAdapter_Init ignores SIGPIPE, SIGUSR1, SIGUSR2, SIGCHLD and SIGALRM
 * for the whole process. With SIGCHLD ignored, children are reaped by the system: waitpid() and the
 * status of system()/pclose() are no longer available to the rest of the process.
 */
#ifndef OMBRI_ENGINE_UTILITYADAPTER_H
#define OMBRI_ENGINE_UTILITYADAPTER_H

#ifdef __cplusplus
extern "C" {
#endif

/* (act, status, msg, msg2): one status event. */
typedef void (*UtilityAdapter_StatusCallback)(unsigned int act, int status, const char* msg, const char* msg2);
/* (line, message): one log line with its time prefix, and the message alone. */
typedef void (*UtilityAdapter_LogCallback)(const char* line, const char* message);
/* (movie path, thumbnail path) -> duration in whole seconds: writes a still of the movie. */
typedef int (*UtilityAdapter_MovieThumbCallback)(const char* moviepath, const char* thumbpath);

/* The player's slots. The engine has no player and never calls them. */
typedef void (*UtilityAdapter_PlayerAudioInitCallback)(int rate, int channels, int bits);
typedef void (*UtilityAdapter_PlayerVideoInitCallback)(int width, int height);
typedef void (*UtilityAdapter_AudioBufferReadyCallback)(const unsigned char* data, int length);
typedef void (*UtilityAdapter_VideoBufferReadyCallback)(const unsigned char* data, int width, int height);
typedef void (*UtilityAdapter_PlayerEventCallback)(int event, int value);
typedef void (*UtilityAdapter_BufferStateCallback)(int percent);
typedef void (*UtilityAdapter_PlayFinishedCallback)(void);
typedef void (*UtilityAdapter_EmptySlot)(void);
typedef void (*UtilityAdapter_PlayerUninitCallback)(void);

/* The callbacks, twelve slots in this order. The engine keeps the first three; any may be null. */
typedef struct UtilityAdapter_Callbacks {
    UtilityAdapter_StatusCallback status;
    UtilityAdapter_LogCallback printlog;
    UtilityAdapter_MovieThumbCallback moviethumb;
    UtilityAdapter_PlayerAudioInitCallback playeraudioinit;
    UtilityAdapter_PlayerVideoInitCallback playervideoinit;
    UtilityAdapter_AudioBufferReadyCallback audiobufferready;
    UtilityAdapter_VideoBufferReadyCallback videobufferready;
    UtilityAdapter_PlayerEventCallback playerevent;
    UtilityAdapter_BufferStateCallback bufferstate;
    UtilityAdapter_PlayFinishedCallback playfinished;
    UtilityAdapter_EmptySlot reserved;
    UtilityAdapter_PlayerUninitCallback playeruninit;
} UtilityAdapter_Callbacks;

/* Start-up: ignores the signals above, stores the video size, and when flags is not 0 prepares the
 * audio parser (mono; 0x3 bits: 22050 Hz with 0x2 else 16000 Hz; otherwise 8000 Hz with 0x4, else
 * 44100 Hz), empties the log path until a log folder is set, picks the conversion mode (3 with 0x100,
 * else 4 with 0x400, else 2) and turns the log on with 0x10000. Starts the job thread once per
 * process. The third and fourth arguments are not read. Returns 0. */
int UtilityAdapter_Init(int width, int height, int unused1, int unused2, int flags);

/* Shut-down: stops the upload thread and waits for it, releases the audio parser and the conversion
 * buffer. The job thread keeps running. */
void UtilityAdapter_Uninit(void);

/* Installs the callbacks (copied from the record; null removes them). A later call replaces them. */
void UtilityAdapter_SetupCallbacks(const UtilityAdapter_Callbacks* callbacks);

/* One setting (type, text, sub):
 *   1, token, 0         the user's token ("" after logout); any other sub is ignored
 *   3, folder, 0..7     folders: 0 photos, 1 videos (loads the codec header once the device name is
 *                       known), 2 data, 3 images, 4 the database file (opened when it differs from
 *                       the last one), 5 local-video folders joined by ";" and 6 their extensions
 *                       joined by ";" (a scan starts once both are known), 7 the log folder
 *   4, device name, -   the device description (codec header request, upload user agent)
 *   5, -, status        network: 0 none, 2 cellular, 3 Wi-Fi; not 0 retries a failed upload at once
 *   6, -, status        storage: 0 present, 1 removed (closes the database; 0 again reopens it)
 *   7, -, policy        upload policy: 0 Wi-Fi for waiting jobs, 1 Wi-Fi only, 2 any network
 *   8, edition, -       the edition word sent as "vend" */
void UtilityAdapter_SetExtData(int type, const char* text, int sub);

/* The service's host ("host" or "host:port") for the engine's own calls, as the application is
 * configured; "" or NULL goes back to the engine's own reading of OMBRI_SERVICE_HOST. */
void UtilityAdapter_SetServiceHost(const char* host);

/* kind 2 starts the upload thread, kind 1 an engine recording; other kinds do nothing. */
void UtilityAdapter_StartJob(int kind, int unused);

/* kind 2 stops the upload thread (waiting for it), kind 1 ends the engine recording. */
void UtilityAdapter_StopJob(int kind);

/* Operation 8 answers at once with the column named by `extra` of job `guid`, as a new text, or null
 * when the job, the column or its value is missing or empty. Every other operation is queued for
 * the job thread and null is returned. */
char* UtilityAdapter_JobOperation(const char* guid, int operation, const char* extra);

/* Enters a movie file into the job database at once and returns its guid (also when it was entered
 * before), or null when there is none. */
char* UtilityAdapter_ImportFile(const char* moviepath);

/* The local media list reply, a JSON text, read at once. Never null. */
char* UtilityAdapter_GetLocalMediaList(unsigned int page, int count);

/* Releases a text returned by the engine; null is ignored. */
void UtilityAdapter_FreeString(char* text);

/* Effect settings; -1 keeps a value. */
void UtilityAdapter_SetEffect(int filter, int frame, int filter2, int pitch, int ambient);

/* Size of the effect frame buffer, also the size of the live video. */
void UtilityAdapter_EffectInit(int width, int height);

/* Queues job operation `kind` (33 for a live recording) with the movie path and the job name. */
void UtilityAdapter_EffectStart(const char* moviepath, const char* jobname, int kind);

/* Queues the end of the live recording (operation 35). */
void UtilityAdapter_EffectStop(void);

/* Device orientation for the live video: angles in degrees; returns the orientation (0..3) with
 * flag 4 (it changed) and flag 8 (the device holds still). */
int UtilityAdapter_OrientationSensor(const void* sample, int x, int y);

/* The player's entry points. The engine has no player: they do nothing. */
void UtilityAdapter_RenderSoundEffect(const unsigned char* data, int length, unsigned int timems);
void UtilityAdapter_PlayerPlay(const char* url, int online);
void UtilityAdapter_PlayerStop(void);
void UtilityAdapter_PlayerPause(int pause);
void UtilityAdapter_PlayerSeek(int position);
/* Returns `length` unchanged. */
int UtilityAdapter_GetAudioData(unsigned char* buffer, int length);

#ifdef __cplusplus
}
#endif

#endif
